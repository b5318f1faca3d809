// korvane-board: the sensor board emulator as a program. See UsageText in options.cpp.
#include "board.h"
#include "options.h"

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

// SIGINT, SIGTERM and SIGHUP end the run through the board's stop fd, so the link is always
// removed on the way out. Returns the fd, or -1.
int StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) return -1;
    return signalfd(-1, &signals, SFD_CLOEXEC);
}

} // namespace

int main(int argc, char** argv) {
    board::BoardOptions options;
    std::string error;
    switch (board::ParseOptions(argc, argv, &options, &error)) {
    case board::ParseResult::Help:
        std::fputs(board::UsageText(), stdout);
        return 0;
    case board::ParseResult::Error:
        std::fprintf(stderr, "korvane-board: %s (see korvane-board --help)\n", error.c_str());
        return 2;
    case board::ParseResult::Run:
        break;
    }
    int stop = StopSignals();
    if (stop < 0) {
        std::perror("korvane-board: cannot catch signals");
        return 1;
    }
    board::Board emulator(options, stdout, stderr);
    error = emulator.Start();
    if (!error.empty()) {
        std::fprintf(stderr, "korvane-board: %s\n", error.c_str());
        return 1;
    }
    int status = emulator.Run(stop);
    close(stop);
    return status;
}
