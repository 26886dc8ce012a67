// A sentence that names things from the configuration, such as a step of a
// running host: people see each name quoted and escaped, while the JSON
// writer gets it as it is and escapes it once.
#ifndef CONFMODEL_HOST_INPUT_PHRASE_H
#define CONFMODEL_HOST_INPUT_PHRASE_H

#include <string>
#include <string_view>
#include <vector>

class Phrase {
  public:
    Phrase() = default;
    Phrase(const char *words) : parts_{{words, Kind::words}} {}
    Phrase(std::string words) : parts_{{std::move(words), Kind::words}} {}
    // A name from the configuration, and a place in a file ("device.jsonl:4"),
    // which people see escaped but not quoted.
    static Phrase name(std::string_view text) { return part(text, a_name); }
    static Phrase place(std::string_view text) { return part(text, a_place); }

    Phrase &operator+=(const Phrase &other);
    friend Phrase operator+(Phrase a, const Phrase &b) { return a += b; }

    std::string text() const; // names as quote() shows them
    std::string raw() const;  // names in double quotes, unescaped
    bool empty() const { return parts_.empty(); }

  private:
    enum Kind { words, a_name, a_place };
    struct Part {
        std::string text;
        Kind kind;
    };
    static Phrase part(std::string_view text, Kind kind);
    std::vector<Part> parts_;
};

#endif
