#include "input/progress.h"

#include <algorithm>
#include <cstdio>

namespace {

bool on;
bool line_drawn;

} // namespace

namespace progress {

void show(bool value) {
    on = value;
}

bool shown() {
    return on;
}

void erase() {
    if (!line_drawn) return;
    fputs("\r\x1b[K", stderr);
    line_drawn = false;
}

} // namespace progress

Progress::Progress(std::string what) : what_(std::move(what)), start_(std::chrono::steady_clock::now()) {}

void Progress::draw(uint64_t records, uint64_t done, uint64_t total) {
    using namespace std::chrono;
    const steady_clock::time_point now = steady_clock::now();
    // Work done within a second shows nothing; then a few lines a second.
    if (now - start_ < seconds(1) || (line_drawn && now - drawn_ < milliseconds(200))) return;
    drawn_ = now;
    const double elapsed = duration<double>(now - start_).count();
    char share[16] = "";
    if (total > 0) snprintf(share, sizeof share, ", %d%%", static_cast<int>(100 * std::min(done, total) / total));
    fprintf(stderr, "\rconfmodel-host: %s: %llu records, %.0f a second%s\x1b[K", what_.c_str(),
            static_cast<unsigned long long>(records), records / elapsed, share);
    line_drawn = true;
}
