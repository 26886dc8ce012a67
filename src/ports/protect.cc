#include "confmodel.h"
#include "records/convert.h"

namespace {

enum PortProtectColumn {
    PP_LOOP_PROTECT = 4,
    PP_LOOP_STATE = 5,
    PP_PAUSE_PROTECT = 6,
    PP_PAUSE_STATE = 7,
    PP_COL8 = 8,
};

/* Loop protection sits one column further right in a subport record. */
enum SubportProtectColumn {
    SPP_LOOP_PROTECT = 5,
    SPP_LOOP_STATE = 6,
};

constexpr keyword loop_protect_modes[] = {
    {"disabled", PROTECT_DISABLED},
    {"enabled", PROTECT_ENABLED},
};

constexpr keyword pause_protect_modes[] = {
    {"disabled", PROTECT_DISABLED},
    {"enabled", PROTECT_ENABLED},
    {"detection_only", PROTECT_DETECTION_ONLY},
};

constexpr keyword loop_states[] = {
    {"loop_detected", LOOP_STATE_DETECTED},
};

constexpr keyword pause_states[] = {
    {"pause_flood_detected", PAUSE_STATE_FLOOD_DETECTED},
    {"in_pause_condition", PAUSE_STATE_IN_PAUSE},
};

} // namespace

int parse_port_protect_data(config_record record, port_protect_data *out) {
    out->loop_protect = conv_keyword(record[PP_LOOP_PROTECT], loop_protect_modes);
    out->loop_state = conv_keyword(record[PP_LOOP_STATE], loop_states);
    out->pause_protect = conv_keyword(record[PP_PAUSE_PROTECT], pause_protect_modes);
    out->pause_state = conv_keyword(record[PP_PAUSE_STATE], pause_states);
    out->col8_value = conv_number32(record[PP_COL8]);
    return 0;
}

int parse_subport_protect_data(config_record record, subport_protect_data *out) {
    out->loop_protect = conv_keyword(record[SPP_LOOP_PROTECT], loop_protect_modes);
    out->loop_state = conv_keyword(record[SPP_LOOP_STATE], loop_states);
    return 0;
}
