// libFuzzer target of the running host's requests: each input is one
// request line, answered by the parser and dispatcher over a model built
// from the example device's store, with the module loaded. Whatever the line
// holds, the reply is one line of JSON that says ok or names its error,
// followed by exactly the raw bytes it announces, and the model stays whole
// for the next. A line read in place reads as the full parser reads it, and
// a request that changes nothing gets the same reply through the full
// parser and the answers written from trees.
#include "input/dump.h"
#include "model/list.h"
#include "output/document.h"
#include "output/files.h"
#include "running/services.h"
#include "serve/requests.h"
#include "store/history.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);               \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

namespace {

struct Daemon {
    Module module;
    std::string folder, path;
    std::unique_ptr<Follower> follower;
    std::unique_ptr<ServeState> state;
};

Daemon &daemon_of_example() {
    static Daemon d = [] {
        Daemon d;
        CHECK(load_module(CONFMODEL_HOST_BUILD_LIBRARY, d.module).empty());
        char folder[] = "/tmp/confmodel-serve-fuzz-XXXXXX";
        CHECK(mkdtemp(folder) != nullptr);
        d.folder = folder;
        d.path = d.folder + "/device.db";
        static const std::string store = d.path, made = d.folder;
        atexit([] {
            unlink((store + "-journal").c_str());
            unlink(store.c_str());
            rmdir(made.c_str());
        });
        LineReader in(CONFMODEL_HOST_SOURCE_DIR "/examples/device.jsonl", Limits{});
        const Dump dump = read_dump(in);
        {
            Store store(d.path, Store::Open::create);
            store.begin();
            std::vector<RowWrite> writes;
            for (const Record &record : dump.records)
                writes.push_back({nullptr, &record});
            write_logged(store, Dump{}, writes, Commit::now("fuzz"), true);
            store.commit();
        }
        return d;
    }();
    return d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Daemon &d = daemon_of_example();
    services::set_output(nullptr);
    if (!d.follower) {
        d.follower = std::make_unique<Follower>(d.module, FollowerSettings{d.path, size_t(1) << 20, 0});
        d.follower->fresh_start("started");
        d.state = std::make_unique<ServeState>(ServeState{*d.follower, d.module, "fuzz.sock", 0, 0, 0, std::nullopt});
    }
    const std::string_view line(reinterpret_cast<const char *>(data), size);
    // The line read in place, where it is of the usual shape, is the line
    // the full parser reads.
    ParsedRequest in_place, full;
    ojson tree;
    read_request(line, full, tree);
    if (read_request_in_place(line, in_place)) {
        CHECK(in_place.shape == full.shape && in_place.id == full.id);
        for (int m = 0; m < ParsedRequest::count; m++)
            CHECK(in_place.members[m] == full.members[m]);
    }
    Outbox out;
    answer_request(*d.state, line, out);
    const std::string reply = out.text();
    // One line of JSON, and exactly the raw bytes it announces.
    const size_t end = reply.find('\n');
    CHECK(end != std::string::npos);
    const ojson parsed = ojson::parse(reply.substr(0, end), nullptr, false);
    CHECK(parsed.is_object() && parsed.contains("ok"));
    CHECK(parsed["ok"] == true ? parsed.contains("exit") : parsed["error"]["code"].is_string());
    const size_t bytes = parsed.contains("bytes") ? parsed["bytes"].get<size_t>() : 0;
    CHECK(parsed["ok"] == true || !parsed.contains("bytes"));
    CHECK(reply.size() == end + 1 + bytes);
    // Requests that change nothing are answered alike by the full parser,
    // with every answer written as the command writes it.
    const RequestValue &name = full[ParsedRequest::request];
    static const std::string_view still[] = {"port", "vlan", "portgroup", "xnetgroup", "xnet", "show"};
    if (name.type != RequestValue::Type::string ||
        std::find(std::begin(still), std::end(still), name.text) != std::end(still)) {
        Outbox again;
        answer_request(*d.state, line, again, false);
        CHECK(again.text() == reply);
    }
    CHECK(list_is_consistent<portgroup_entry>(d.module.portgroups));
    CHECK(list_is_consistent<xnet_entry>(d.module.xnets));
    return 0;
}
