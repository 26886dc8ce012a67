// confmodel-host: acts as the device's host program. Loads the module, replays
// a configuration dump through it, and shows what the module made of it.
#include "dump.h"
#include "model.h"
#include "module.h"
#include "report.h"
#include "services.h"
#include "store.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

using json = nlohmann::ordered_json;

namespace {

const char usage_text[] = R"(usage: confmodel-host [OPTIONS] DUMP [QUERY]

Loads the module as the device's host does, builds the model from DUMP (a
configuration dump in JSON Lines, or - for standard input; see
docs/records.md) and shows it. Every line the module logs goes to standard
error with its priority and the dump line that caused it.

Options:
  --library PATH   the module to load (default: the one built with this program)
  --json           show the model, or the answer to QUERY, as JSON
  --dot            show xnets, xnetgroups and port groups as a Graphviz graph
  --check          show no model; exit 1 if the module logged any error or
                   warning, 0 if none
  --help           show this text

QUERY, answered with the entry found, or "not found" and exit status 1:
  port N                  the first port group whose ports include port N
                          (numbered from 1, as in /ports/portN)
  vlan VID                the first xnet with internal VLAN id VID
  portgroup NUMBER|PATH   the first port group with that number or pathname
  xnetgroup PATH SEP      the xnetgroup PATH; SEP ends its xnet's pathname,
                          as in: xnetgroup /xnets/prod/xnetgroups/a /xnetgroups/
QUERY on the remote devices of the dump, showing the stored value before and
after and the status (exit status 1 unless 0):
  dcbx set KEY            set the device's DCBX-pending flag to "true"
  dcbx reset KEY          set it to "false"
  dcbx test-and-set KEY EXPECTED NEW
                          set it to NEW if it holds EXPECTED

Exit status: 0 done; 1 not found, problems found by --check, or a DCBX status
other than 0; 2 usage error, unreadable or malformed dump, or a module that
cannot be loaded.
)";

enum { EXIT_NOT_FOUND = 1, EXIT_BAD = 2 };

struct UsageError {
    std::string message;
};

template <typename Int> Int number_argument(const std::string &text, long long min, long long max) {
    errno = 0;
    char *end;
    long long value = strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < min || value > max)
        throw UsageError{"\"" + text + "\" is not a number from " + std::to_string(min) + " to " +
                         std::to_string(max)};
    return static_cast<Int>(value);
}

void expect_words(const std::vector<std::string> &query, size_t count) {
    if (query.size() != count)
        throw UsageError{"\"" + query[0] + (query.size() > 1 ? " " + query[1] : "") + "\" takes " +
                         std::to_string(count - 1) + " argument" + (count == 2 ? "" : "s")};
}

// Prints the entry a lookup found, as text or JSON. 1 when there is none.
template <typename Entry, typename Describe, typename Print>
int answer(bool as_json, const Entry *entry, Describe describe, Print print) {
    if (entry == nullptr) {
        std::cout << (as_json ? "null" : "not found") << "\n";
        return EXIT_NOT_FOUND;
    }
    json found = describe(*entry);
    if (as_json)
        std::cout << found.dump(2) << "\n";
    else
        print(std::cout, found);
    return 0;
}

std::string status_name(int status) {
    switch (status) {
    case 0:
        return "0";
    case ENOMEM:
        return "ENOMEM";
    case EBUSY:
        return "EBUSY";
    case EINVAL:
        return "EINVAL";
    default:
        return std::to_string(status);
    }
}

// A query, its words already checked, run once the model is built.
using Query = std::function<int(const Module &, const Store &)>;

Query dcbx_query(const std::vector<std::string> &q, bool as_json) {
    const std::string action = q.size() > 1 ? q[1] : "";
    if (action != "set" && action != "reset" && action != "test-and-set")
        throw UsageError{"dcbx takes set, reset or test-and-set"};
    expect_words(q, action == "test-and-set" ? 5 : 3);
    uintptr_t key = number_argument<uintptr_t>(q[2], 0, UINT32_MAX);
    std::string expected = q.size() == 5 ? q[3] : "", new_value = q.size() == 5 ? q[4] : "";

    return [=](const Module &m, const Store &store) {
        auto values = [&]() {
            json list = json::array();
            for (const RemoteDevice &device : store.records(key))
                list.push_back(describe_remote_device(device)["dcbx_pending"]);
            return list;
        };
        json before = values();
        int status = action == "set" ? m.dcbx_pending_set(store.handle(), key)
                     : action == "reset"
                         ? m.dcbx_pending_reset(store.handle(), key)
                         : m.dcbx_pending_test_and_set(store.handle(), key, expected.c_str(),
                                                       new_value.c_str());
        json after = values();

        if (as_json) {
            std::cout << json{{"device", key},
                              {"action", action},
                              {"before", before},
                              {"status", status_name(status)},
                              {"after", after}}
                             .dump(2)
                      << "\n";
        } else {
            auto shown = [](const json &list) {
                if (list.empty()) return std::string("no record");
                std::string text;
                for (const json &value : list)
                    text += (text.empty() ? "" : ", ") + value.dump();
                return text;
            };
            std::cout << "dcbx " << action << " on device " << key << "\n"
                      << "  before  " << shown(before) << "\n"
                      << "  status  " << status_name(status) << "\n"
                      << "  after   " << shown(after) << "\n";
        }
        return status == 0 ? 0 : EXIT_NOT_FOUND;
    };
}

Query parse_query(const std::vector<std::string> &q, bool as_json) {
    const std::string &kind = q[0];
    if (kind == "port") {
        expect_words(q, 2);
        int32_t port = number_argument<int32_t>(q[1], INT32_MIN + 1LL, INT32_MAX);
        return [=](const Module &m, const Store &) {
            return answer(as_json, m.find_ext_portgroup_for_port(port - 1), describe_portgroup,
                          print_portgroup);
        };
    }
    if (kind == "vlan") {
        expect_words(q, 2);
        int32_t vid = number_argument<int32_t>(q[1], INT32_MIN, INT32_MAX);
        return [=](const Module &m, const Store &) {
            return answer(as_json, m.find_xnet_by_int_vid(vid), describe_xnet, print_xnet);
        };
    }
    if (kind == "portgroup") {
        expect_words(q, 2);
        std::string name = q[1];
        if (name.empty() || name.find_first_not_of("-0123456789") != std::string::npos)
            return [=](const Module &m, const Store &) {
                return answer(as_json, m.find_portgrp_by_name(name.c_str()), describe_portgroup,
                              print_portgroup);
            };
        int32_t number = number_argument<int32_t>(name, INT32_MIN, INT32_MAX);
        return [=](const Module &m, const Store &) {
            return answer(as_json, m.find_portgrp_by_number(number), describe_portgroup,
                          print_portgroup);
        };
    }
    if (kind == "xnetgroup") {
        expect_words(q, 3);
        std::string pathname = q[1], separator = q[2];
        return [=](const Module &m, const Store &) {
            return answer(as_json, m.find_xgrp_by_name_generic(pathname.c_str(), separator.c_str()),
                          describe_xnetgroup, print_xnetgroup);
        };
    }
    if (kind == "dcbx") return dcbx_query(q, as_json);
    throw UsageError{"unknown query " + kind};
}

struct Options {
    std::string library = CONFMODEL_HOST_DEFAULT_LIBRARY;
    bool json = false;
    bool dot = false;
    bool check = false;
    std::string dump;
    Query query; // empty: show the model
};

Options parse_options(int argc, char **argv) {
    Options options;
    std::vector<std::string> words;
    bool options_done = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (options_done || arg.size() < 2 || arg.compare(0, 2, "--") != 0)
            words.push_back(arg);
        else if (arg == "--")
            options_done = true;
        else if (arg == "--help")
            throw UsageError{};
        else if (arg == "--json")
            options.json = true;
        else if (arg == "--dot")
            options.dot = true;
        else if (arg == "--check")
            options.check = true;
        else if (arg == "--library" && i + 1 < argc)
            options.library = argv[++i];
        else if (arg == "--library")
            throw UsageError{"--library needs the path of the module"};
        else
            throw UsageError{"unknown option " + arg};
    }
    if (words.empty()) throw UsageError{"no dump given"};
    if (options.json + options.dot + options.check > 1)
        throw UsageError{"--json, --dot and --check exclude each other"};
    if ((options.dot || options.check) && words.size() > 1)
        throw UsageError{"--dot and --check show the whole model; they take no query"};
    options.dump = words[0];
    if (words.size() > 1)
        options.query =
            parse_query(std::vector<std::string>(words.begin() + 1, words.end()), options.json);
    return options;
}

int run(const Options &options) {
    Dump dump;
    if (options.dump == "-") {
        dump = read_dump(std::cin, "<stdin>");
    } else {
        std::ifstream file(options.dump);
        if (!file) throw BadInput(options.dump + ": " + strerror(errno));
        dump = read_dump(file, options.dump);
    }

    // Declared first, so that it is unloaded after the model is released.
    struct Loaded {
        Module module;
        ~Loaded() { unload_module(module); }
    } loaded;
    const Module &module = loaded.module;
    std::string error = load_module(options.library.c_str(), loaded.module);
    if (!error.empty()) {
        std::cerr << "confmodel-host: cannot load the module: " << error << "\n";
        return EXIT_BAD;
    }

    int status = 0;
    {
        Store store;
        store.seed(dump);
        HostModel model(module);
        model.build(dump);

        if (options.check) {
            int errors = services::errors_logged(), warnings = services::warnings_logged();
            std::cout << dump.name << ": " << errors << (errors == 1 ? " error, " : " errors, ")
                      << warnings << (warnings == 1 ? " warning" : " warnings") << "\n";
            status = errors + warnings > 0 ? EXIT_NOT_FOUND : 0;
        } else if (options.query) {
            status = options.query(module, store);
        } else {
            json described = describe_model(model, store);
            if (options.json)
                std::cout << described.dump(2) << "\n";
            else if (options.dot)
                print_dot(std::cout, described);
            else
                print_model(std::cout, described);
        }
    }
    return status;
}

} // namespace

int main(int argc, char **argv) {
    try {
        return run(parse_options(argc, argv));
    } catch (const UsageError &e) {
        if (e.message.empty()) {
            std::cout << usage_text;
            return 0;
        }
        std::cerr << "confmodel-host: " << e.message << "\n\n" << usage_text;
        return EXIT_BAD;
    } catch (const BadInput &e) {
        std::cerr << e.what() << "\n";
        return EXIT_BAD;
    }
}
