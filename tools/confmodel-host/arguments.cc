#include "arguments.h"

#include <string>

const CLI::Validator decimal(
    [](std::string &text) {
        size_t digits = text.compare(0, 1, "-") == 0 ? 1 : 0;
        if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos ||
            (text[digits] == '0' && text.size() > digits + 1))
            return std::string("not a decimal number: ") + text;
        return std::string();
    },
    "DECIMAL");

CLI::Option *number(CLI::App *app, const char *name, int64_t &value, int64_t min, int64_t max,
                    const char *text) {
    return app->add_option(name, value, text)
        ->required()
        ->check(decimal)
        ->check(CLI::Range(min, max));
}

void example(CLI::App &command, const char *words) {
    command.footer(std::string("\nExample:\n  confmodel-host ") + words + "\n");
}

void add_confirm_option(CLI::App &command, int64_t &seconds) {
    command.add_option("--confirm", seconds,
                       "the commit awaits confirmation (confmodel-host confirm STORE) for that "
                       "long, and is rolled back if none comes")
        ->type_name("SECONDS")
        ->check(decimal)
        ->check(CLI::Range(int64_t(1), int64_t(366) * 24 * 3600));
}
