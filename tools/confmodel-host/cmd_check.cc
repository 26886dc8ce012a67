#include "commands.h"
#include "output/findings.h"
#include "running/services.h"

#include <cstdio>
#include <iostream>

namespace {

std::string counted(int n, const char *what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

} // namespace

int cmd_check(Session &session, const std::string &source, bool as_json) {
    Dump dump = session.read(source);
    // The findings are the report: standard output, or a JSON document.
    std::vector<services::LogLine> lines;
    services::set_output(as_json ? nullptr : stdout);
    services::capture(&lines);
    // Every record goes through the module; a check keeps no port record.
    HostModel model(session.module());
    model.build(dump, HostModel::Parts::decoded_and_released);
    services::capture(nullptr);
    services::set_output(stderr);
    fflush(stdout);
    FindingCounts host = report_findings(dump, model, as_json ? nullptr : &std::cout);
    int errors = services::errors_logged(), warnings = services::warnings_logged();
    if (as_json) {
        ojson module = ojson::array(), found = ojson::array();
        for (const services::LogLine &line : lines)
            module.push_back({{"where", line.context}, {"priority", line.priority}, {"text", line.text}});
        for (const HostFinding &f : host.found)
            found.push_back({{"where", f.where}, {"priority", f.error ? "error" : "warning"}, {"text", f.text}});
        std::cout << json_text({{"source", dump.name},
                                {"module", module},
                                {"host", found},
                                {"counts", {{"module_errors", errors},
                                            {"module_warnings", warnings},
                                            {"host_errors", host.errors},
                                            {"host_warnings", host.warnings}}}})
                  << "\n";
    } else {
        std::cout << dump.name << ": " << counted(errors, "error") << ", "
                  << counted(warnings, "warning") << " from the module; "
                  << counted(host.errors, "error") << ", " << counted(host.warnings, "warning")
                  << " from the host\n";
    }
    return errors + warnings + host.errors + host.warnings > 0 ? EXIT_NO : EXIT_OK;
}
