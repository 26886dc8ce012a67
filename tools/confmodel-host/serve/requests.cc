#include "serve/requests.h"

#include <unistd.h>

#include "input/text.h"
#include "output/comparison_view.h"
#include "output/dcbx_call.h"
#include "output/document.h"
#include "output/json.h"
#include "output/lookup.h"
#include "output/vocabulary.h"
#include "running/services.h"
#include "store/history.h"

#include <cstring>
#include <ctime>
#include <new>

using Member = ParsedRequest::Member;
using Type = RequestValue::Type;

const char *const ParsedRequest::names[ParsedRequest::count] = {
    "request", "form", "port", "vid", "number", "path", "separator", "action", "device", "expected", "new"};

namespace {

// ---- Reading a request line -------------------------------------------------

// The characters a string read in place may hold: printable ASCII but the
// quote and the backslash, which JSON writes as they are.
bool plain(char c) {
    return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
}

bool space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool digit(char c) {
    return c >= '0' && c <= '9';
}

// The member a key names, ParsedRequest::count for "id", or -1.
int member_index(std::string_view key) {
    static constexpr struct {
        std::string_view name;
        int index;
    } names[] = {{"id", ParsedRequest::count},           {"vid", ParsedRequest::vid},
                 {"new", ParsedRequest::new_value},      {"form", ParsedRequest::form},
                 {"port", ParsedRequest::port},          {"path", ParsedRequest::path},
                 {"number", ParsedRequest::number},      {"action", ParsedRequest::action},
                 {"device", ParsedRequest::device},      {"request", ParsedRequest::request},
                 {"expected", ParsedRequest::expected},  {"separator", ParsedRequest::separator}};
    for (const auto &n : names)
        if (key == n.name) return n.index;
    return -1;
}

// A line read from its start; each step false for anything but the usual
// shape.
class InPlace {
  public:
    explicit InPlace(std::string_view line) : p_(line.data()), end_(line.data() + line.size()) {}

    bool read(ParsedRequest &out) {
        uint32_t seen = 0;
        skip();
        if (!eat('{')) return false;
        skip();
        if (!eat('}')) {
            for (;;) {
                std::string_view key;
                if (!eat('"') || !string(key)) return false;
                skip();
                if (!eat(':')) return false;
                skip();
                const int index = member_index(key);
                // A member given twice: the full parser says which counts.
                if (index >= 0 && (seen >> index & 1)) return false;
                if (index >= 0) seen |= 1u << index;
                RequestValue value;
                const char *start = p_;
                if (!this->value(value)) return false;
                if (index == ParsedRequest::count) {
                    if (value.type == Type::integer) {
                        out.id.clear();
                        append_number(out.id, value.number);
                    } else {
                        out.id.assign(start, p_); // null, true, false or a plain string, as JSON writes it
                    }
                } else if (index >= 0) {
                    out.members[index] = value;
                }
                skip();
                if (eat(',')) {
                    skip();
                    continue;
                }
                if (eat('}')) break;
                return false;
            }
        }
        skip();
        return p_ == end_;
    }

  private:
    void skip() {
        while (p_ < end_ && space(*p_))
            p_++;
    }
    bool eat(char c) {
        if (p_ == end_ || *p_ != c) return false;
        p_++;
        return true;
    }
    // The rest of a string, after its opening quote.
    bool string(std::string_view &out) {
        const char *start = p_;
        while (p_ < end_ && plain(*p_))
            p_++;
        if (p_ == end_ || *p_ != '"') return false;
        out = std::string_view(start, static_cast<size_t>(p_ - start));
        p_++;
        return true;
    }
    bool word(std::string_view text) {
        if (static_cast<size_t>(end_ - p_) < text.size() || std::string_view(p_, text.size()) != text) return false;
        p_ += text.size();
        return true;
    }
    bool value(RequestValue &out) {
        if (p_ == end_) return false;
        switch (*p_) {
        case '"':
            p_++;
            out.type = Type::string;
            return string(out.text);
        case 't':
            out.type = Type::other;
            return word("true");
        case 'f':
            out.type = Type::other;
            return word("false");
        case 'n':
            out.type = Type::null;
            return word("null");
        default:
            return integer(out);
        }
    }
    // -?(0|[1-9][0-9]*), of up to 18 digits: an int64_t whatever they are.
    bool integer(RequestValue &out) {
        const bool negative = eat('-');
        if (p_ == end_ || !digit(*p_)) return false;
        int64_t n = 0;
        if (*p_ == '0') {
            p_++;
        } else {
            for (int digits = 1; p_ < end_ && digit(*p_); p_++, digits++) {
                if (digits > 18) return false;
                n = n * 10 + (*p_ - '0');
            }
        }
        // A fraction, an exponent or a leading zero is the full parser's.
        if (p_ < end_ && (digit(*p_) || *p_ == '.' || *p_ == 'e' || *p_ == 'E')) return false;
        out.type = Type::integer;
        out.number = negative ? -n : n;
        return true;
    }

    const char *p_, *end_;
};

RequestValue value_of(const ojson &value) {
    RequestValue out;
    if (value.is_null()) {
        out.type = Type::null;
    } else if (value.is_number_integer()) {
        out.type = Type::integer;
        out.number = value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(INT64_MAX)
                         ? INT64_MAX
                         : value.get<int64_t>();
    } else if (value.is_string()) {
        out.type = Type::string;
        out.text = value.get_ref<const std::string &>();
    } else {
        out.type = Type::other;
    }
    return out;
}

// ---- Answering ----------------------------------------------------------------

// A request that cannot be answered: its code and what to say.
struct Refusal {
    const char *code;
    std::string message;
};

// A dcbx request that found the store locked by another process, and wrote
// nothing: it is answered later, once the lock may be free.
struct Held {};

void append_error(std::string &out, std::string_view id, const char *code, std::string_view message) {
    out += "{\"id\":";
    out += id;
    out += ",\"ok\":false,\"error\":{\"code\":";
    append_json_string(out, code);
    out += ",\"message\":";
    append_json_string(out, message);
    out += "}}";
}

std::string error_reply(std::string_view id, const char *code, std::string_view message) {
    std::string out;
    append_error(out, id, code, message);
    return out;
}

// How a reply carries what it found: a JSON document, or the very text the
// command prints (as text, or as its JSON).
enum class Form { document, text, json };

std::string quoted_name(Member m) {
    return std::string("\"") + ParsedRequest::names[m] + "\"";
}

int64_t integer(const ParsedRequest &request, Member m, int64_t low, int64_t high) {
    const RequestValue &value = request[m];
    if (value.type != Type::integer) throw Refusal{"bad-argument", quoted_name(m) + " must be an integer"};
    const int64_t n = value.number;
    if (n < low || n > high)
        throw Refusal{"bad-argument",
                      quoted_name(m) + " must be from " + std::to_string(low) + " to " + std::to_string(high)};
    return n;
}

std::string text(const ParsedRequest &request, Member m) {
    const RequestValue &value = request[m];
    if (value.type != Type::string) throw Refusal{"bad-argument", quoted_name(m) + " must be a string"};
    if (value.text.find('\0') != std::string_view::npos)
        throw Refusal{"bad-argument", quoted_name(m) + " holds a NUL character"};
    return std::string(value.text);
}

bool is_lookup(std::string_view name) {
    return name == "port" || name == "vlan" || name == "portgroup" || name == "xnetgroup" || name == "xnet";
}

Query query_of(std::string_view name, const ParsedRequest &request) {
    Query q;
    if (name == "port") {
        q.kind = Query::port;
        q.number = integer(request, ParsedRequest::port, INT32_MIN + 1LL, INT32_MAX);
    } else if (name == "vlan") {
        q.kind = Query::vlan;
        q.number = integer(request, ParsedRequest::vid, INT32_MIN, INT32_MAX);
    } else if (name == "portgroup") {
        q.kind = Query::portgroup;
        if (request[ParsedRequest::path].type != Type::absent)
            q.text = text(request, ParsedRequest::path);
        else
            q.number = integer(request, ParsedRequest::number, INT32_MIN, INT32_MAX);
    } else if (name == "xnetgroup") {
        q.kind = Query::xnetgroup;
        q.text = text(request, ParsedRequest::path);
        q.separator = text(request, ParsedRequest::separator);
    } else if (name == "xnet") {
        q.kind = Query::xnet;
        q.text = text(request, ParsedRequest::path);
    }
    return q;
}

View view_of(Form form) {
    return form == Form::document ? View::json_line : form == Form::text ? View::text : View::json;
}

ojson status_json(const ServeState &s) {
    const Follower &f = s.follower;
    const Module &m = s.module;
    size_t portgroups = 0, xnets = 0, xnetgroups = 0;
    CONFMODEL_LIST_FOREACH(const portgroup_entry, group, m.portgroups) {
        portgroups += group != nullptr;
    }
    CONFMODEL_LIST_FOREACH(const xnet_entry, xnet, m.xnets) {
        xnets++;
        CONFMODEL_LIST_FOREACH(const xnetgroup_entry, group, &xnet->xnetgroups) {
            xnetgroups += group != nullptr;
        }
    }
    const Follower::Cost &c = f.last_commit();
    ojson starts = ojson::array();
    for (const Follower::Start &start : f.fresh_starts())
        starts.push_back({{"time", utc_text(start.time)}, {"why", start.why}, {"cpu_us", start.cpu_us}});
    ojson out = {{"format", json_format},
                 {"pid", static_cast<int64_t>(getpid())},
                 {"uptime", static_cast<int64_t>(time(nullptr)) - s.started},
                 {"store", f.path()},
                 {"socket", s.socket},
                 {"seq", f.seq()},
                 {"lists",
                  {{"portgroups", portgroups},
                   {"xnets", xnets},
                   {"xnetgroups", xnetgroups},
                   {"records", f.record_count()}}},
                 {"last_commit", c.seq < 0 ? ojson()
                                           : ojson{{"seq", c.seq},
                                                   {"commits", c.commits},
                                                   {"rows", c.rows},
                                                   {"taken_by", c.path},
                                                   {"released", c.released},
                                                   {"created", c.created},
                                                   {"cpu_us", c.cpu_us},
                                                   {"wall_us", c.wall_us}}},
                 {"awaiting", s.awaiting ? ojson{{"seq", s.awaiting->seq},
                                                 {"deadline", utc_text(s.awaiting->deadline)}}
                                         : ojson()},
                 {"fresh_starts", {{"count", f.fresh_start_count()}, {"latest", starts}}},
                 {"clients", s.clients},
                 {"requests", s.requests}};
    return out;
}

void print_status(std::ostream &out, const ojson &status) {
    out << "pid           " << status["pid"].get<int64_t>() << "\n"
        << "uptime        " << status["uptime"].get<int64_t>() << " s\n"
        << "store         " << escaped(status["store"].get<std::string>()) << "\n"
        << "commit taken  " << status["seq"].get<int64_t>() << "\n";
    const ojson &lists = status["lists"];
    out << "lists         " << lists["portgroups"] << " port groups, " << lists["xnets"] << " xnets, "
        << lists["xnetgroups"] << " xnetgroups, from " << lists["records"] << " records\n";
    const ojson &last = status["last_commit"];
    if (!last.is_null())
        out << "last commit   " << last["seq"] << ": " << last["rows"] << " rows, " << last["released"]
            << " entries released and " << last["created"] << " created, in " << last["cpu_us"]
            << " us of CPU (" << last["wall_us"] << " us), " << last["taken_by"].get<std::string>() << "\n";
    const ojson &awaiting = status["awaiting"];
    if (!awaiting.is_null())
        out << "awaiting      commit " << awaiting["seq"] << ", to be confirmed by "
            << awaiting["deadline"].get<std::string>() << "\n";
    out << "fresh starts  " << status["fresh_starts"]["count"] << "\n";
    for (const ojson &start : status["fresh_starts"]["latest"])
        out << "  " << start["time"].get<std::string>() << "  " << escaped(start["why"].get<std::string>())
            << "\n";
    out << "clients       " << status["clients"] << ", " << status["requests"] << " requests answered\n";
}

// Answers a request by name into out; returns its exit status.
int answer(ServeState &s, std::string_view name, const ParsedRequest &request, Form form, std::ostream &out,
           bool may_hold) {
    const View view = view_of(form);
    Follower &f = s.follower;
    if (is_lookup(name)) return answer_lookup(out, view, s.module, query_of(name, request));
    if (name == "show") {
        write_model(out, view, f.model(), f.records());
        return 0;
    }
    if (name == "status") {
        const ojson status = status_json(s);
        if (form == Form::text)
            print_status(out, status);
        else
            out << json_text(status, form == Form::json ? 2 : -1) << (form == Form::json ? "\n" : "");
        return 0;
    }
    if (name == "verify") {
        f.follow();
        const Comparison c = f.verify();
        const Sides sides{"running", "restarted"};
        if (form == Form::text) {
            if (c.same())
                out << "the running model equals a fresh start of the store at commit " << f.seq() << "\n";
            else
                print_comparison(out, c, sides, "  ");
        } else {
            out << json_text({{"format", json_format},
                              {"seq", f.seq()},
                              {"same", c.same()},
                              {"divergence", comparison_json(c, sides)}},
                             form == Form::json ? 2 : -1)
                << (form == Form::json ? "\n" : "");
        }
        return c.same() ? 0 : 1;
    }
    if (name == "dcbx") {
        DcbxCall call;
        call.action = text(request, ParsedRequest::action);
        if (call.action != "set" && call.action != "reset" && call.action != "test-and-set")
            throw Refusal{"bad-argument", "\"action\" must be \"set\", \"reset\" or \"test-and-set\""};
        call.key = static_cast<uintptr_t>(integer(request, ParsedRequest::device, 0, UINT32_MAX));
        if (call.action == "test-and-set") {
            call.expected = text(request, ParsedRequest::expected);
            call.new_value = text(request, ParsedRequest::new_value);
        }
        // In turn with the model's changes: whatever was committed is taken
        // first. A store another process holds cannot be read or written
        // now: the call meets the lock too, and is held, or, once the wait
        // is over, answers with the store's status as against the store.
        try {
            f.follow();
        } catch (const StoreLocked &) {
        }
        // A held request's output is taken back with its reply.
        const DcbxDone done = call_dcbx(out, view, s.module, f.store(), true, call);
        if (done.locked && may_hold) throw Held{};
        if (done.changed) f.reread_devices();
        return done.exit;
    }
    throw Refusal{"unknown-request", "no request is named " + quote(name) +
                                         ": port, vlan, portgroup, xnetgroup, xnet, show, dcbx, status, verify"};
}

// The reply's line up to its answer: {"id":...,"ok":true,"exit":N
void append_answered(std::string &out, const ParsedRequest &request, int exit) {
    out += "{\"id\":";
    out += request.id;
    out += ",\"ok\":true,\"exit\":";
    append_number(out, exit);
}

// A lookup's document, built where the reply is queued, without a tree.
void answer_lookup_in_place(ServeState &s, std::string_view name, const ParsedRequest &request, Outbox &out) {
    const Found found = find_entry(s.module, query_of(name, request));
    s.requests++;
    std::string &line = out.tail();
    const size_t mark = line.size();
    try {
        append_answered(line, request, found.found() ? 0 : 1);
        line += ",\"document\":";
        append_found_document(line, found);
        line += "}\n";
    } catch (...) {
        line.resize(mark);
        throw;
    }
}

// Any request: its answer written where the reply is queued, and its line
// put before it once the exit status and the size are known. A document
// follows "document": on the line; the command's output follows the line
// as raw bytes.
void answer_written(ServeState &s, std::string_view name, const ParsedRequest &request, Form form, Outbox &out,
                    bool may_hold) {
    Outbox::Rendering written(out);
    const int exit = answer(s, name, request, form, written.stream(), may_hold);
    s.requests++;
    std::string line;
    append_answered(line, request, exit);
    if (form == Form::document) {
        line += ",\"document\":";
        written.keep(line);
        out.append("}\n");
    } else {
        line += ",\"bytes\":";
        append_number(line, written.size());
        line += "}\n";
        written.keep(line);
    }
}

} // namespace

bool read_request_in_place(std::string_view line, ParsedRequest &out) {
    out = ParsedRequest();
    if (InPlace(line).read(out)) return true;
    out = ParsedRequest();
    return false;
}

void read_request(std::string_view line, ParsedRequest &out, ojson &tree) {
    out = ParsedRequest();
    tree = ojson::parse(line.begin(), line.end(), nullptr, false);
    if (tree.is_discarded()) {
        out.shape = ParsedRequest::Shape::not_json;
        return;
    }
    if (!tree.is_object()) {
        out.shape = ParsedRequest::Shape::not_object;
        return;
    }
    if (auto id = tree.find("id"); id != tree.end()) out.id = json_text(*id, -1);
    for (int m = 0; m < ParsedRequest::count; m++)
        if (auto found = tree.find(ParsedRequest::names[m]); found != tree.end()) out.members[m] = value_of(*found);
}

Answer answer_request(ServeState &s, std::string_view line, Outbox &out, bool fast, bool may_hold) {
    ParsedRequest request;
    ojson tree;
    try {
        if (!fast || !read_request_in_place(line, request)) read_request(line, request, tree);
        if (request.shape == ParsedRequest::Shape::not_json) throw Refusal{"malformed", "the request is not JSON"};
        if (request.shape == ParsedRequest::Shape::not_object)
            throw Refusal{"malformed", "the request is not a JSON object"};
        const RequestValue &name = request[ParsedRequest::request];
        if (name.type != Type::string) throw Refusal{"bad-request", "\"request\" must name a request"};
        const RequestValue &form_name = request[ParsedRequest::form];
        const bool named = form_name.type == Type::string;
        Form form = Form::document;
        if (named && form_name.text == "text")
            form = Form::text;
        else if (named && form_name.text == "json")
            form = Form::json;
        else if (named ? form_name.text != "document" : form_name.type != Type::absent && form_name.type != Type::null)
            throw Refusal{"bad-argument", "\"form\" must be \"document\", \"text\" or \"json\""};
        if (fast && form == Form::document && is_lookup(name.text))
            answer_lookup_in_place(s, name.text, request, out);
        else
            answer_written(s, name.text, request, form, out, may_hold);
        return Answer::given;
    } catch (const Held &) {
        return Answer::held;
    } catch (const Refusal &refusal) {
        append_error(out.tail(), request.id, refusal.code, refusal.message);
    } catch (const Failure &failure) {
        append_error(out.tail(), request.id, "failed", failure.what());
    } catch (const std::bad_alloc &) {
        append_error(out.tail(), request.id, "failed", "out of memory");
    } catch (const std::exception &e) {
        append_error(out.tail(), request.id, "failed", e.what());
    }
    out.append("\n");
    return Answer::given;
}

std::string too_long_reply() {
    return error_reply("null", "too-long",
                       "the request is longer than " + std::to_string(max_request) + " bytes, and was not read");
}

std::string refused_reply(const std::string &why) {
    return error_reply("null", "refused", why);
}
