#include "commands.h"

const std::vector<Command> commands = {
    {"show", declare_show},     {"check", declare_check},   {"dcbx", declare_dcbx},
    {"diff", declare_diff},     {"apply", declare_apply},   {"import", declare_import},
    {"export", declare_export}, {"log", declare_log},
    {"rollback", declare_rollback}, {"confirm", declare_confirm},
    {"serve", declare_serve},       {"status", declare_status},
};
