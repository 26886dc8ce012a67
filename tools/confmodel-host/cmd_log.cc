#include "commands.h"
#include "input/text.h"
#include "output/json.h"

#include <unistd.h>

#include <ctime>
#include <iostream>

namespace {

// A commit's time as UTC: "2026-12-07T00:40:11Z".
std::string utc(int64_t seconds) {
    time_t t = static_cast<time_t>(seconds);
    tm parts{};
    char text[32];
    if (gmtime_r(&t, &parts) == nullptr || strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0)
        return std::to_string(seconds);
    return text;
}

} // namespace

int cmd_log(Session &session, const std::string &path, const LogOptions &options) {
    if (path == "-" || (access(path.c_str(), F_OK) == 0 && !is_store_path(path)))
        throw Failure(escaped(path) + ": not a store file; a dump keeps no log");
    Store store(path, session.store_mode(false), session.settings().wait_ms);
    if (options.seq < 0) {
        std::vector<Commit> commits = store.commits();
        if (options.as_json) {
            ojson list = ojson::array();
            for (const Commit &c : commits)
                list.push_back({{"seq", c.seq},
                                {"time", utc(c.time)},
                                {"uid", c.uid},
                                {"user", c.user},
                                {"command", c.command},
                                {"added", c.added},
                                {"changed", c.changed},
                                {"removed", c.removed},
                                {"undo_kept", c.undo.has_value()}});
            std::cout << json_text(ojson{{"commits", list}}) << "\n";
        } else {
            for (const Commit &c : commits)
                std::cout << c.seq << "  " << utc(c.time) << "  " << escaped(c.user) << "  +" << c.added
                          << " ~" << c.changed << " -" << c.removed << "  " << escaped(c.command) << "\n";
            if (commits.empty())
                std::cout << "no commits logged: the store was made before its log was kept, and "
                             "nothing has been committed to it since\n";
        }
        return EXIT_OK;
    }
    std::vector<Commit> found = store.commits(options.seq);
    if (found.empty())
        throw Failure(escaped(path) + ": no commit " + std::to_string(options.seq) + " in its log");
    const Commit &c = found.front();
    const std::optional<std::string> &text = options.reverse ? c.undo : c.changes;
    if (c.seq == 0)
        throw Failure(escaped(path) + ": commit 0 is the import that made the store, which keeps no "
                                      "change set of it (export the store for its records)");
    if (!text)
        throw Failure(escaped(path) + ": the log no longer keeps the change sets of commit " +
                      std::to_string(c.seq));
    std::cout << *text;
    return EXIT_OK;
}
