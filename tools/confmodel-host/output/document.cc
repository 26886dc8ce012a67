#include "output/document.h"

#include "output/json.h"

namespace {

void append_value(std::string &out, const ojson &value, int indent, int depth) {
    switch (value.type()) {
    case ojson::value_t::object:
    case ojson::value_t::array: {
        const bool object = value.is_object();
        if (value.empty()) {
            out += object ? "{}" : "[]";
            return;
        }
        out += object ? '{' : '[';
        bool first = true;
        for (auto member = value.begin(); member != value.end(); ++member) {
            if (!first) out += ',';
            first = false;
            if (indent >= 0) {
                out += '\n';
                out.append(static_cast<size_t>(indent * (depth + 1)), ' ');
            }
            if (object) {
                append_json_string(out, member.key());
                out += indent >= 0 ? ": " : ":";
            }
            append_value(out, *member, indent, depth + 1);
        }
        if (indent >= 0) {
            out += '\n';
            out.append(static_cast<size_t>(indent * depth), ' ');
        }
        out += object ? '}' : ']';
        return;
    }
    case ojson::value_t::string:
        return append_json_string(out, value.get_ref<const std::string &>());
    case ojson::value_t::boolean:
        out += value.get<bool>() ? "true" : "false";
        return;
    case ojson::value_t::number_integer:
        return append_number(out, value.get<int64_t>());
    case ojson::value_t::number_unsigned:
        return append_number(out, value.get<uint64_t>());
    default: // null, and numbers with a fraction, which hold no text
        out += value.dump();
    }
}

} // namespace

std::string json_text(const ojson &value, int indent) {
    std::string out;
    append_value(out, value, indent, 0);
    return out;
}
