#include "confmodel.h"
#include "hosk.h"
#include "records/convert.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

namespace {

enum SubportColumn {
    SP_PATHNAME = 0,
    SP_COL5 = 5,
    SP_KIND = 7,
    SP_ENABLED = 9,
    SP_COL10 = 10,
    SP_COL11 = 11,
    SP_COL16 = 16,
    SP_COL17 = 17,
};

constexpr keyword fcoe_kinds[] = {{"FCoE", 1}};

} // namespace

/* Host-owned members are never written here: the caller may keep state in
 * them across parses. */
int parse_subport_data(int32_t parent_port, config_record record, subport_data *subport) {
    subport->pathname = hosk_strdup(record[SP_PATHNAME]);
    if (subport->pathname == nullptr)
        return ENOMEM;
    subport->parent_port = parent_port;
    subport->in_use = 1;
    subport->col5_value = conv_decimal(record[SP_COL5], 0);
    subport->enabled = conv_enabled_flag(record[SP_ENABLED]);
    subport->col10_value = conv_decimal(record[SP_COL10], 0);
    subport->col11_value = conv_decimal(record[SP_COL11], 0);
    subport->col16_flag = conv_true_flag(record[SP_COL16]);
    subport->col17_hex = conv_hex32(record[SP_COL17]);
    subport->is_fcoe = conv_keyword(record[SP_KIND], fcoe_kinds);
    return 0;
}

/* in_use guards the release, so a record never parsed, one whose parse
 * failed, and one already released are all left alone. */
void free_subport_data(subport_data *subport) {
    if (subport == nullptr || subport->in_use == 0)
        return;
    free(subport->pathname);
    memset(subport, 0, sizeof *subport);
}
