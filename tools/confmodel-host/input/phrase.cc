#include "input/phrase.h"

#include "input/text.h"

Phrase Phrase::part(std::string_view text, Kind kind) {
    Phrase phrase;
    phrase.parts_.push_back({std::string(text), kind});
    return phrase;
}

Phrase &Phrase::operator+=(const Phrase &other) {
    parts_.insert(parts_.end(), other.parts_.begin(), other.parts_.end());
    return *this;
}

std::string Phrase::text() const {
    std::string out;
    for (const Part &part : parts_)
        out += part.kind == a_name ? quote(part.text) : part.kind == a_place ? escaped(part.text) : part.text;
    return out;
}

std::string Phrase::raw() const {
    std::string out;
    for (const Part &part : parts_)
        out += part.kind == a_name ? "\"" + part.text + "\"" : part.text;
    return out;
}
