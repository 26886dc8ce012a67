#include "serve/requests.h"

#include <unistd.h>

#include "input/text.h"
#include "output/comparison_view.h"
#include "output/dcbx_call.h"
#include "output/document.h"
#include "output/lookup.h"
#include "output/vocabulary.h"
#include "running/services.h"
#include "store/history.h"

#include <ctime>
#include <new>
#include <sstream>

namespace {

// A request that cannot be answered: its code and what to say.
struct Refusal {
    const char *code;
    std::string message;
};

std::string error_reply(const ojson &id, const char *code, const std::string &message) {
    ojson reply = {{"id", id}, {"ok", false}, {"error", {{"code", code}, {"message", message}}}};
    return json_text(reply, -1);
}

// How a reply carries what it found: a JSON document, or the very text the
// command prints (as text, or as its JSON).
enum class Form { document, text, json };

const ojson &member(const ojson &request, const char *name) {
    static const ojson none;
    auto found = request.find(name);
    return found != request.end() ? *found : none;
}

int64_t integer(const ojson &request, const char *name, int64_t low, int64_t high) {
    const ojson &value = member(request, name);
    if (!value.is_number_integer())
        throw Refusal{"bad-argument", std::string("\"") + name + "\" must be an integer"};
    const int64_t n = value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(INT64_MAX)
                          ? INT64_MAX
                          : value.get<int64_t>();
    if (n < low || n > high)
        throw Refusal{"bad-argument", std::string("\"") + name + "\" must be from " + std::to_string(low) +
                                          " to " + std::to_string(high)};
    return n;
}

std::string text(const ojson &request, const char *name) {
    const ojson &value = member(request, name);
    if (!value.is_string()) throw Refusal{"bad-argument", std::string("\"") + name + "\" must be a string"};
    std::string out = value.get<std::string>();
    if (out.find('\0') != std::string::npos)
        throw Refusal{"bad-argument", std::string("\"") + name + "\" holds a NUL character"};
    return out;
}

Query query_of(const std::string &name, const ojson &request) {
    Query q;
    if (name == "port") {
        q.kind = Query::port;
        q.number = integer(request, "port", INT32_MIN + 1LL, INT32_MAX);
    } else if (name == "vlan") {
        q.kind = Query::vlan;
        q.number = integer(request, "vid", INT32_MIN, INT32_MAX);
    } else if (name == "portgroup") {
        q.kind = Query::portgroup;
        if (request.contains("path"))
            q.text = text(request, "path");
        else
            q.number = integer(request, "number", INT32_MIN, INT32_MAX);
    } else if (name == "xnetgroup") {
        q.kind = Query::xnetgroup;
        q.text = text(request, "path");
        q.separator = text(request, "separator");
    } else if (name == "xnet") {
        q.kind = Query::xnet;
        q.text = text(request, "path");
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
int answer(ServeState &s, const std::string &name, const ojson &request, Form form, std::ostream &out) {
    const View view = view_of(form);
    Follower &f = s.follower;
    if (name == "port" || name == "vlan" || name == "portgroup" || name == "xnetgroup" || name == "xnet")
        return answer_lookup(out, view, s.module, query_of(name, request));
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
        call.action = text(request, "action");
        if (call.action != "set" && call.action != "reset" && call.action != "test-and-set")
            throw Refusal{"bad-argument", "\"action\" must be \"set\", \"reset\" or \"test-and-set\""};
        call.key = static_cast<uintptr_t>(integer(request, "device", 0, UINT32_MAX));
        if (call.action == "test-and-set") {
            call.expected = text(request, "expected");
            call.new_value = text(request, "new");
        }
        // In turn with the model's changes: whatever was committed is taken first.
        f.follow();
        const DcbxDone done = call_dcbx(out, view, s.module, f.store(), true, call);
        if (done.changed) f.reread_devices();
        return done.exit;
    }
    throw Refusal{"unknown-request", "no request is named " + quote(name) +
                                         ": port, vlan, portgroup, xnetgroup, xnet, show, dcbx, status, verify"};
}

} // namespace

std::string answer_request(ServeState &s, std::string_view line) {
    ojson id;
    try {
        const ojson request = ojson::parse(line.begin(), line.end(), nullptr, false);
        if (request.is_discarded()) return error_reply(id, "malformed", "the request is not JSON");
        if (!request.is_object()) return error_reply(id, "malformed", "the request is not a JSON object");
        id = member(request, "id");
        const ojson &name = member(request, "request");
        if (!name.is_string()) return error_reply(id, "bad-request", "\"request\" must name a request");
        const ojson &form_name = member(request, "form");
        Form form = Form::document;
        if (form_name == "text")
            form = Form::text;
        else if (form_name == "json")
            form = Form::json;
        else if (!form_name.is_null() && form_name != "document")
            return error_reply(id, "bad-argument", "\"form\" must be \"document\", \"text\" or \"json\"");
        std::ostringstream out;
        const int exit = answer(s, name.get<std::string>(), request, form, out);
        s.requests++;
        std::string reply = json_text({{"id", id}, {"ok", true}, {"exit", exit}}, -1);
        reply.pop_back(); // the closing brace: the answer follows
        if (form == Form::document)
            reply += ",\"document\":" + out.str() + "}";
        else
            reply += ",\"output\":" + json_text(out.str(), -1) + "}";
        return reply;
    } catch (const Refusal &refusal) {
        return error_reply(id, refusal.code, refusal.message);
    } catch (const Failure &failure) {
        return error_reply(id, "failed", failure.what());
    } catch (const std::bad_alloc &) {
        return error_reply(id, "failed", "out of memory");
    } catch (const std::exception &e) {
        return error_reply(id, "failed", e.what());
    }
}

std::string too_long_reply() {
    return error_reply(ojson(), "too-long",
                       "the request is longer than " + std::to_string(max_request) + " bytes, and was not read");
}

std::string refused_reply(const std::string &why) {
    return error_reply(ojson(), "refused", why);
}
