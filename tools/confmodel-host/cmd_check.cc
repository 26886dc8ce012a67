#include "commands.h"
#include "output/findings.h"
#include "running/services.h"

#include <iostream>

namespace {

std::string counted(int n, const char *what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

} // namespace

int cmd_check(Session &session, const std::string &source) {
    Dump dump = session.read(source);
    HostModel model(session.module());
    model.build(dump);
    FindingCounts host = report_findings(dump, model);
    int errors = services::errors_logged(), warnings = services::warnings_logged();
    std::cout << dump.name << ": " << counted(errors, "error") << ", "
              << counted(warnings, "warning") << " from the module; "
              << counted(host.errors, "error") << ", " << counted(host.warnings, "warning")
              << " from the host\n";
    return errors + warnings + host.errors + host.warnings > 0 ? EXIT_NO : EXIT_OK;
}
