#include "output/vocabulary.h"

#include <cstring>

ojson place_json(const std::string &where) {
    const size_t colon = where.rfind(':');
    const bool numbered = colon != std::string::npos && colon + 1 < where.size() &&
                          where.find_first_not_of("0123456789", colon + 1) == std::string::npos &&
                          where.size() - colon - 1 <= 9;
    if (!numbered) return {{"file", where}};
    return {{"file", where.substr(0, colon)}, {"line", std::stoul(where.substr(colon + 1))}};
}

const char *severity(const std::string &priority) {
    if (priority == "emerg" || priority == "alert" || priority == "crit" || priority == "err")
        return "error";
    return priority == "warning" ? "warning" : "note";
}

const char *finding_code(const std::string &text) {
    // By the text's start: the module's lines are its own, fixed; the host's
    // notes are this program's.
    static const struct {
        const char *start, *code;
    } codes[] = {
        {"duplicated portgroup entry found!", "portgroup-duplicate-number"},
        {"Create new port group: Both ports & subport bitmap", "portgroup-ports-and-subports"},
        {"duplicated xnet entry found!", "xnet-duplicate-vlan"},
        {"Portgroup #", "xnet-native-portgroup-missing"},
        {"Cannot find portgroup (", "xnetgroup-portgroup-missing"},
        {"xnetgroup pathname (", "xnetgroup-pathname-too-long"},
        {"no memory for", "module-no-memory"},
        {"create_new_portgroup returned", "portgroup-refused"},
        {"the module refused the xnet (", "xnet-refused"},
        {"duplicate of ", "xnet-duplicate-joined"},
        {"the module refused the xnetgroup (", "xnetgroup-refused"},
        {"xnetgroup skipped: its xnet is not in the model", "xnetgroup-xnet-missing"},
        {"parse_subport_data returned", "subport-refused"},
    };
    for (const auto &c : codes)
        if (text.compare(0, strlen(c.start), c.start) == 0) return c.code;
    return "module-log";
}

ojson finding_json(const std::string &where, const char *severity, const char *code,
                   const std::string &text) {
    ojson out = place_json(where);
    out["severity"] = severity;
    out["code"] = code;
    out["text"] = text;
    return out;
}

ojson status_json(int status, const std::string &name) {
    return {{"status", status}, {"status_name", name}};
}
