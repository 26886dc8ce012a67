#include "output/comparison.h"

std::vector<Comparison::Field> field_changes(const ojson &a, const ojson &b) {
    std::vector<Comparison::Field> fields;
    for (const auto &[name, value] : b.items())
        if (!a.contains(name) || a[name] != value)
            fields.push_back({name, a.contains(name) ? a[name] : ojson(), value});
    for (const auto &[name, value] : a.items())
        if (!b.contains(name)) fields.push_back({name, value, ojson()});
    return fields;
}

std::string ordinal(int n) {
    const char *suffix = n % 100 / 10 == 1 ? "th" : n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
    return std::to_string(n) + suffix;
}
