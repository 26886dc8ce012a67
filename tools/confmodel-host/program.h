// The command line: the program's own options, every command of the table
// under it, and how the help and usage errors read.
#ifndef CONFMODEL_HOST_PROGRAM_H
#define CONFMODEL_HOST_PROGRAM_H

#include "commands.h"

#include <CLI/CLI.hpp>

#include <string>
#include <utility>
#include <vector>

// What SOURCE, OLD and NEW are, and where the lines the module logs go: the
// help's closing text before the exit statuses, and the manual's description.
std::string sources_text();

// Where the README and docs/ are: the source tree's for a program run from
// the build tree, else those installed with it.
std::string documentation_dir();

// Runs the command read from the command line: its exit status; or, where it
// failed, EXIT_BAD after the one line on standard error that says why.
int run_command(const CommandRun &run, Session &session);

// The exit status of a command that ended with `status`, its output lost or
// not: a store it changed before it failed is said, and is EXIT_INCOMPLETE.
int exit_status(const Session &session, int status, bool output_lost);

class Program {
  public:
    // The settings are filled in as the command line is read.
    explicit Program(Settings &settings);
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    // Reads the command line. Returns what runs the command given; or
    // nothing, with the status to exit with in *status, after the help or a
    // usage error, which it prints.
    CommandRun parse(int argc, char **argv, int *status);
    // The whole command line, for the help and the manual page.
    const CLI::App &app() const { return app_; }

  private:
    CLI::App app_;
    Settings &settings_;
    double wait_seconds_;
    std::vector<std::pair<const CLI::App *, CommandRun>> runs_;
};

#endif
