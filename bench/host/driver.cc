// confmodel-host's commands run one after the other in one process, each
// as main.cc runs one: for the soak of the running host (bench/host/soak.py),
// whose commits would otherwise spend most of their time starting a process,
// linking it and loading the module. A command run here is the program's own
// from the command line read to the exit status (Program, Session, the
// command, the store's commit path); only the process is shared.
//
//     confmodel_host_driver FD
//
// Each line of standard input is a command line, a JSON array of strings
// without the program's name; for each, one JSON line goes to descriptor FD:
// {"exit": N, "out": "what it wrote to std::cout", "err": "... std::cerr"}.
// Lines the module logs go to standard error, as the program's do. The
// program is built beside confmodel-host, so that it loads the same module.
#include "program.h"
#include "input/progress.h"

#include <nlohmann/json.hpp>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// main.cc's body, the streams' output kept.
int run_command(std::vector<std::string> words) {
    words.insert(words.begin(), "confmodel-host");
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    Settings settings;
    Program program(settings);
    int status = EXIT_BAD;
    CommandRun run = program.parse(static_cast<int>(words.size()), argv.data(), &status);
    if (!run) return status;
    progress::show(false);
    Session session(settings);
    return exit_status(session, run_command(run, session), false);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::cerr << "usage: confmodel_host_driver FD   (command lines as JSON arrays on standard input)\n";
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    FILE *answers = fdopen(atoi(argv[1]), "w");
    if (answers == nullptr) {
        perror("confmodel_host_driver");
        return 2;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        const nlohmann::json words = nlohmann::json::parse(line, nullptr, false);
        if (!words.is_array()) {
            std::cerr << "confmodel_host_driver: not a JSON array: " << line << "\n";
            return 2;
        }
        std::ostringstream out, err;
        std::streambuf *cout_buffer = std::cout.rdbuf(out.rdbuf());
        std::streambuf *cerr_buffer = std::cerr.rdbuf(err.rdbuf());
        int status;
        try {
            status = run_command(words.get<std::vector<std::string>>());
        } catch (...) {
            std::cout.rdbuf(cout_buffer);
            std::cerr.rdbuf(cerr_buffer);
            throw;
        }
        std::cout.rdbuf(cout_buffer);
        std::cerr.rdbuf(cerr_buffer);
        const std::string answer =
            nlohmann::json{{"exit", status}, {"out", out.str()}, {"err", err.str()}}.dump(
                -1, ' ', false, nlohmann::json::error_handler_t::replace) +
            "\n";
        if (fwrite(answer.data(), 1, answer.size(), answers) != answer.size() || fflush(answers) != 0) return 2;
    }
    return 0;
}
