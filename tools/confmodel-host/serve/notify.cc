#include "serve/notify.h"

#ifdef CONFMODEL_HOST_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

#include <string>

namespace {

std::string status_text(const ServeState &state) {
    return "STATUS=commit " + std::to_string(state.follower.seq()) + " taken, " +
           std::to_string(state.follower.fresh_start_count()) + " fresh starts";
}

void notify(const std::string &text) {
#ifdef CONFMODEL_HOST_SYSTEMD
    sd_notify(0, text.c_str());
#else
    (void)text;
#endif
}

} // namespace

void notify_ready(const ServeState &state) {
    notify("READY=1\n" + status_text(state));
}

void notify_status(const ServeState &state) {
    notify(status_text(state));
}
