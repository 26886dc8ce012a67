// The commands, as git's builtins: each cmd_NAME.cc declares its command's
// arguments, options and help on the subcommand it is given, and returns
// what runs the command once the command line is read. A command uses the
// layers below it and never another command.
#ifndef CONFMODEL_HOST_COMMANDS_H
#define CONFMODEL_HOST_COMMANDS_H

#include "exit_status.h"
#include "session.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <vector>

// Runs a command whose command line has been read; returns its exit status.
using CommandRun = std::function<int(Session &)>;

struct Command {
    const char *name;
    CommandRun (*declare)(CLI::App &command);
};

// The commands in the order the help lists them.
extern const std::vector<Command> commands;

CommandRun declare_show(CLI::App &command);
CommandRun declare_check(CLI::App &command);
CommandRun declare_dcbx(CLI::App &command);
CommandRun declare_diff(CLI::App &command);
CommandRun declare_apply(CLI::App &command);
CommandRun declare_import(CLI::App &command);
CommandRun declare_export(CLI::App &command);
CommandRun declare_log(CLI::App &command);
CommandRun declare_rollback(CLI::App &command);
CommandRun declare_confirm(CLI::App &command);
CommandRun declare_serve(CLI::App &command);
CommandRun declare_status(CLI::App &command);

#endif
