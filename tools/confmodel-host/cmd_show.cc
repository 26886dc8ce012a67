#include "arguments.h"
#include "commands.h"
#include "input/text.h"
#include "output/findings.h"
#include "output/lookup.h"
#include "output/report.h"
#include "output/report_json.h"
#include "output/report_text.h"
#include "output/vocabulary.h"
#include "serve/client.h"

#include <iostream>
#include <memory>

namespace {

struct Options {
    std::string source;
    bool as_json = false, as_dot = false;
    Query query;
};

// The same asked of a running host.
int ask_running_host(const Options &o) {
    if (o.as_dot) throw Failure(escaped(o.source) + ": a running host shows its model as text or JSON, not --dot");
    static const char *const names[] = {"show", "port", "vlan", "portgroup", "xnetgroup", "xnet"};
    const Query &q = o.query;
    ojson request = {{"request", names[q.kind]}, {"form", o.as_json ? "json" : "text"}};
    switch (q.kind) {
    case Query::port:
        request["port"] = q.number;
        break;
    case Query::vlan:
        request["vid"] = q.number;
        break;
    case Query::portgroup:
        if (q.text.empty())
            request["number"] = q.number;
        else
            request["path"] = q.text;
        break;
    case Query::xnetgroup:
        request["separator"] = q.separator;
        [[fallthrough]];
    case Query::xnet:
        request["path"] = q.text;
        break;
    case Query::none:
        break;
    }
    return ask(o.source, request);
}

// The model, or a lookup's answer (exit 1 when nothing is found).
int show(Session &session, const Options &o) {
    const View view = o.as_json ? View::json : o.as_dot ? View::dot : View::text;
    if (o.query.kind != Query::none && o.as_dot)
        throw Failure("confmodel-host: --dot shows the whole model; it takes no lookup");
    if (is_socket(o.source)) return ask_running_host(o);
    // Remote devices are shown from their records: nothing here needs a store.
    Dump dump = session.read(o.source);
    const Module &m = session.module();
    HostModel model(m);
    model.build(dump);
    report_findings(dump, model, &std::cerr);
    std::cout.flush();
    if (o.query.kind != Query::none) return answer_lookup(std::cout, view, m, o.query);
    write_model(std::cout, view, model, records_of(dump));
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
    CLI::App *xnet = show_command.add_subcommand("xnet", "the first xnet with pathname PATH");
    xnet->add_option("PATH", query.text, "the xnet's pathname")->required();

    example(show_command, "show examples/device.jsonl port 7");
    return [o, port, vlan, portgroup, xnetgroup, xnet](Session &session) {
        Query &query = o->query;
        if (*port) query.kind = Query::port;
        if (*vlan) query.kind = Query::vlan;
        if (*xnetgroup) query.kind = Query::xnetgroup;
        if (*xnet) query.kind = Query::xnet;
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
