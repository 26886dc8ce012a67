// libFuzzer target of the running host's requests: each input is one
// request line, answered by the parser and dispatcher over a model built
// from the example device's store, with the module loaded. Whatever the line
// holds, the reply is one line of JSON that says ok or names its error, and
// the model stays whole for the next.
#include "input/dump.h"
#include "model/list.h"
#include "output/document.h"
#include "output/files.h"
#include "running/services.h"
#include "serve/requests.h"
#include "store/history.h"

#include <unistd.h>

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
    const std::string reply = answer_request(*d.state, std::string_view(reinterpret_cast<const char *>(data), size));
    CHECK(reply.find('\n') == std::string::npos);
    const ojson parsed = ojson::parse(reply, nullptr, false);
    CHECK(parsed.is_object() && parsed.contains("ok"));
    CHECK(parsed["ok"] == true ? parsed.contains("exit") : parsed["error"]["code"].is_string());
    CHECK(list_is_consistent<portgroup_entry>(d.module.portgroups));
    CHECK(list_is_consistent<xnet_entry>(d.module.xnets));
    return 0;
}
