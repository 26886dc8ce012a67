#include "arguments.h"
#include "commands.h"
#include "output/findings.h"
#include "output/document.h"
#include "output/vocabulary.h"
#include "running/services.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>

namespace {

std::string counted(int n, const char *what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// The line of the dump a finding is about: a check names every place "file:line".
uint32_t line_of(const std::string &where) {
    return static_cast<uint32_t>(strtoul(where.c_str() + where.rfind(':') + 1, nullptr, 10));
}


// The module's and the host's findings and a summary, on standard output or
// as one JSON document; exit 1 when there are any.
int check(Session &session, const std::string &source, bool as_json) {
    Dump dump = session.read(source);
    // The findings are the report: standard output, or a JSON document.
    std::vector<services::LogLine> lines;
    services::set_output(nullptr);
    services::capture(&lines);
    // Every record goes through the module; a check keeps no port record.
    HostModel model(session.module());
    model.build(dump, HostModel::Parts::decoded_and_released);
    services::capture(nullptr);
    services::set_output(stderr);
    FindingCounts host = report_findings(dump, model, nullptr);
    int errors = services::errors_logged(), warnings = services::warnings_logged();
    // The module logs in the order the model is built (port groups, xnets,
    // then xnetgroups); a person reads a report in the dump's order.
    std::stable_sort(lines.begin(), lines.end(), [](const services::LogLine &a, const services::LogLine &b) {
        return line_of(a.context) < line_of(b.context);
    });
    if (as_json) {
        ojson module = ojson::array(), found = ojson::array();
        for (const services::LogLine &line : lines)
            module.push_back(finding_json(line.context, severity(line.priority),
                                          finding_code(line.text), line.text));
        for (const HostFinding &f : host.found)
            found.push_back(finding_json(f.where, f.error ? "error" : "warning", f.code, f.text));
        std::cout << json_text({{"format", json_format},
                                {"source", dump.name},
                                {"module", module},
                                {"host", found},
                                {"counts", {{"module_errors", errors},
                                            {"module_warnings", warnings},
                                            {"host_errors", host.errors},
                                            {"host_warnings", host.warnings}}}})
                  << "\n";
    } else {
        // Both in line order already: merged, the module's lines first on a line.
        auto finding = host.found.begin();
        for (const services::LogLine &line : lines) {
            for (; finding != host.found.end() && line_of(finding->where) < line_of(line.context); ++finding)
                std::cout << finding_line(*finding);
            std::cout << line.shown;
        }
        for (; finding != host.found.end(); ++finding)
            std::cout << finding_line(*finding);
        std::cout << dump.name << ": " << counted(errors, "error") << ", "
                  << counted(warnings, "warning") << " from the module; "
                  << counted(host.errors, "error") << ", " << counted(host.warnings, "warning")
                  << " from the host\n";
    }
    return errors + warnings + host.errors + host.warnings > 0 ? EXIT_NO : EXIT_OK;
}

} // namespace

CommandRun declare_check(CLI::App &command) {
    struct Options {
        std::string source;
        bool as_json = false;
    };
    auto o = std::make_shared<Options>();
    command.description("list the module's and the host's findings on standard output, without "
                        "the model");
    command.add_option("SOURCE", o->source, "the configuration")->required();
    command.add_flag("--json", o->as_json, "as one JSON document");
    example(command, "check --json device.db");
    return [o](Session &session) { return check(session, o->source, o->as_json); };
}
