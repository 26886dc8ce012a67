#include "arguments.h"
#include "commands.h"
#include "output/findings.h"
#include "output/report.h"
#include "output/report_json.h"
#include "output/report_text.h"
#include "output/vocabulary.h"

#include <iostream>
#include <memory>

namespace {

struct Query {
    enum Kind { none, port, vlan, portgroup, xnetgroup } kind = none;
    int64_t number = 0;
    std::string text, separator;
};

struct Options {
    std::string source;
    bool as_json = false, as_dot = false;
    Query query;
};

// Prints the entry a lookup found, as text or JSON. 1 when there is none.
template <typename Entry, typename Describe, typename Print>
int answer(View view, const Entry *entry, Describe describe, Print print) {
    ojson found = entry == nullptr ? ojson() : describe(*entry);
    if (view == View::json)
        std::cout << json_text({{"format", json_format}, {"found", found}}) << "\n";
    else if (entry == nullptr)
        std::cout << "not found\n";
    else
        print(std::cout, *entry);
    return entry == nullptr ? EXIT_NO : EXIT_OK;
}

int lookup(const Module &m, View view, const Query &q) {
    switch (q.kind) {
    case Query::port:
        // Numbered from 1 here, as pathnames number ports; from 0 in the module.
        return answer(view, m.find_ext_portgroup_for_port(static_cast<int32_t>(q.number - 1)),
                      describe_portgroup, print_portgroup);
    case Query::vlan:
        return answer(view, m.find_xnet_by_int_vid(static_cast<int32_t>(q.number)),
                      describe_xnet, print_xnet);
    case Query::portgroup:
        return q.text.empty() ? answer(view, m.find_portgrp_by_number(static_cast<int32_t>(q.number)),
                                       describe_portgroup, print_portgroup)
                              : answer(view, m.find_portgrp_by_name(q.text.c_str()),
                                       describe_portgroup, print_portgroup);
    case Query::xnetgroup:
        return answer(view, m.find_xgrp_by_name_generic(q.text.c_str(), q.separator.c_str()),
                      describe_xnetgroup, print_xnetgroup);
    case Query::none:
        break;
    }
    return EXIT_OK;
}

// The model, or a lookup's answer (exit 1 when nothing is found).
int show(Session &session, const Options &o) {
    const View view = o.as_json ? View::json : o.as_dot ? View::dot : View::text;
    if (o.query.kind != Query::none && o.as_dot)
        throw Failure("confmodel-host: --dot shows the whole model; it takes no lookup");
    // Remote devices are shown from their records: nothing here needs a store.
    Dump dump = session.read(o.source);
    const Module &m = session.module();
    HostModel model(m);
    model.build(dump);
    report_findings(dump, model, &std::cerr);
    std::cout.flush();
    if (o.query.kind != Query::none) return lookup(m, view, o.query);
    write_model(std::cout, view, model, dump);
    return EXIT_OK;
}

} // namespace

CommandRun declare_show(CLI::App &show_command) {
    auto o = std::make_shared<Options>();
    show_command.description("show the model, or answer a lookup");
    show_command.add_option("SOURCE", o->source, "the configuration")->required();
    auto *json_flag = show_command.add_flag("--json", o->as_json, "as one JSON document");
    show_command.add_flag("--dot", o->as_dot, "xnets, xnetgroups and port groups as a Graphviz graph")
        ->excludes(json_flag);
    show_command.require_subcommand(0, 1);
    Query &query = o->query;
    CLI::App *port = show_command.add_subcommand(
        "port", "the first port group whose ports include port N");
    number(port, "N", query.number, INT32_MIN + 1LL, INT32_MAX,
           "the port, numbered from 1 as in /ports/portN");
    CLI::App *vlan = show_command.add_subcommand("vlan", "the first xnet with internal VLAN id VID");
    number(vlan, "VID", query.number, INT32_MIN, INT32_MAX, "the VLAN id");
    CLI::App *portgroup =
        show_command.add_subcommand("portgroup", "the first port group with that number or pathname");
    portgroup->add_option("NUMBER|PATH", query.text, "a number, or a pathname")->required();
    CLI::App *xnetgroup = show_command.add_subcommand(
        "xnetgroup", "the xnetgroup PATH; SEP ends its xnet's pathname, as in: xnetgroup "
                     "/xnets/prod/xnetgroups/a /xnetgroups/");
    xnetgroup->add_option("PATH", query.text, "the xnetgroup's pathname")->required();
    xnetgroup->add_option("SEP", query.separator, "the separator")->required();

    example(show_command, "show examples/device.jsonl port 7");
    return [o, port, vlan, portgroup, xnetgroup](Session &session) {
        Query &query = o->query;
        if (*port) query.kind = Query::port;
        if (*vlan) query.kind = Query::vlan;
        if (*xnetgroup) query.kind = Query::xnetgroup;
        if (*portgroup) {
            query.kind = Query::portgroup;
            // A 32-bit decimal number is looked up by number, anything else
            // by pathname.
            int32_t number;
            std::string text = query.text;
            if (decimal(text).empty() && CLI::detail::lexical_cast(text, number)) {
                query.number = number;
                query.text.clear();
            }
        }
        return show(session, *o);
    };
}
