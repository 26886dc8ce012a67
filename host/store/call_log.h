// The log of tavri_ calls that both stores keep (storelog.h), as they keep
// it: the calls in order, each handed to a visitor as a store_call.
#ifndef CONFMODEL_HOST_STORE_CALL_LOG_H
#define CONFMODEL_HOST_STORE_CALL_LOG_H

#include "storelog.h"

#include <optional>
#include <string>
#include <vector>

struct LoggedCall {
    const char *name;
    int status;
    std::vector<std::optional<std::string>> before;
    std::optional<std::string> written;
};

// Visits the calls in order; the visitor's non-zero return stops the walk
// and is returned. May throw std::bad_alloc.
inline int visit_calls(const std::vector<LoggedCall> &calls, store_call_visitor visit,
                       void *context) {
    for (const LoggedCall &logged : calls) {
        std::vector<const char *> before;
        for (const std::optional<std::string> &value : logged.before)
            before.push_back(value ? value->c_str() : nullptr);
        const store_call call{logged.name, logged.status, before.size(), before.data(),
                              logged.written ? logged.written->c_str() : nullptr};
        if (int stop = visit(context, &call)) return stop;
    }
    return 0;
}

#endif
