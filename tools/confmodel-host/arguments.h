// What the commands' command lines share: how a number is read, and how a
// command shows its example.
#ifndef CONFMODEL_HOST_ARGUMENTS_H
#define CONFMODEL_HOST_ARGUMENTS_H

#include <CLI/CLI.hpp>

#include <cstdint>

// Plain decimal only: strtoll's base 0, which CLI11 uses, would read "010" as 8.
extern const CLI::Validator decimal;

// A required decimal argument from min to max.
CLI::Option *number(CLI::App *app, const char *name, int64_t &value, int64_t min, int64_t max,
                    const char *text);

// Ends a command's help with one example of its use, given from "confmodel-host"
// on.
void example(CLI::App &command, const char *words);
// --confirm SECONDS: a commit that is rolled back unless confirmed in time.
void add_confirm_option(CLI::App &command, int64_t &seconds);

#endif
