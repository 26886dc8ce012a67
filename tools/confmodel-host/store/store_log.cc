#include "store/store.h"

#include "storelog.h"

#include <pwd.h>
#include <unistd.h>

#include <ctime>

int keep_call(void *context, const store_call *call) {
    // The name is one of the store's own constant texts.
    LoggedCall kept{call->name, call->status, {}, {}};
    for (size_t i = 0; i < call->count; i++)
        if (call->before[i] != nullptr)
            kept.before.emplace_back(call->before[i]);
        else
            kept.before.emplace_back();
    if (call->written != nullptr) kept.written = call->written;
    static_cast<std::vector<LoggedCall> *>(context)->push_back(std::move(kept));
    return 0;
}

Commit Commit::now(const std::string &command) {
    Commit commit;
    commit.time = static_cast<int64_t>(::time(nullptr));
    commit.uid = static_cast<int64_t>(getuid());
    const passwd *user = getpwuid(getuid());
    commit.user = user != nullptr ? user->pw_name : std::to_string(commit.uid);
    commit.command = command;
    return commit;
}
