// Progress of long work, for a person watching a terminal: one line on
// standard error, drawn once the work has taken a second and redrawn a few
// times a second, then erased when the work ends or before anything else is
// written there. Nothing at all unless turned on (main turns it on when
// standard error is a terminal and --quiet is not given).
#ifndef CONFMODEL_HOST_INPUT_PROGRESS_H
#define CONFMODEL_HOST_INPUT_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <string>

namespace progress {

void show(bool on);
bool shown();
// Erases the line drawn, if there is one: whoever writes to standard error
// while work is in progress calls this first.
void erase();

} // namespace progress

class Progress {
  public:
    // `what` names the work: "reading device.jsonl".
    explicit Progress(std::string what);
    ~Progress() { progress::erase(); }
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // So many records done; and `done` of `total` (bytes, records), where the
    // size of the work is known, else total is 0.
    void update(uint64_t records, uint64_t done = 0, uint64_t total = 0) {
        if (progress::shown()) draw(records, done, total);
    }

  private:
    void draw(uint64_t records, uint64_t done, uint64_t total);

    std::string what_;
    std::chrono::steady_clock::time_point start_, drawn_;
};

#endif
