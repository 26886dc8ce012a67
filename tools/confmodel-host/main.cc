// confmodel-host: acts as the device's host program. Loads the module, replays
// a configuration through it, and shows what the module made of it. This file
// only reads the command line, runs the command, and turns what happened into
// the exit status.
#include "program.h"
#include "input/progress.h"

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

// Whether standard output is a pipe whose reader has gone, as `| head` goes
// once it has what it wants.
bool reader_gone() {
    pollfd out = {1, POLLOUT, 0};
    return poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0;
}

} // namespace

int main(int argc, char **argv) {
    // A closed pipe is output that cannot be written, to end with the exit
    // status that says whether a store changed, not by a signal.
    signal(SIGPIPE, SIG_IGN);
    Settings settings;
    Program program(settings);
    int status = EXIT_BAD;
    CommandRun run = program.parse(argc, argv, &status);
    if (!run) return status;

    progress::show(!settings.quiet && isatty(STDERR_FILENO));
    Session session(settings);
    status = run_command(run, session);
    // Output that did not arrive is a failure too, told unless its reader
    // left: that one had all it wanted.
    const bool output_lost = !std::cout.flush() || ferror(stdout);
    if (output_lost && !reader_gone())
        std::cerr << "confmodel-host: standard output cannot be written: nothing shown is complete\n";
    return exit_status(session, status, output_lost);
}
