// korvane-soak: runs the program's board link for a long time against korvane-board and checks that
// nothing grows: open descriptors and resident memory are printed at the start, along the way and at
// the end, and the run fails (exit 1) when they end higher than they settled, or a step goes wrong.
//
//   korvane-soak [TICKS [ATTEMPTS [WRITES]]]     defaults: 10000 1000 1000
//
// 1. TICKS poll ticks (discard, then a TILT or DVM exchange, alternating) against a board that sends
//    stray bytes; every tick must read its fixed frame unless a stray byte landed inside it.
// 2. ATTEMPTS connection attempts cycling through success, a silent board and a missing port.
// 3. WRITES profile writes by a child killed at random moments: the profile is whole after each.
#include "BoardLink.h"
#include "profile.h"

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int OpenDescriptors() {
    int n = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++n;
        closedir(dir);
    }
    return n - 3; // ".", ".." and the directory's own descriptor
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

struct Usage {
    int fds;
    long rssKiB;
};

Usage Sample(const char* phase, long step) {
    Usage u{OpenDescriptors(), ResidentKiB()};
    std::printf("%-10s %8ld   descriptors %3d   RSS %6ld KiB\n", phase, step, u.fds, u.rssKiB);
    std::fflush(stdout);
    return u;
}

// korvane-board on COM`com` with `args`; killed with SIGTERM when this ends.
struct Board {
    Board(int com, const std::string& args) {
        std::string cmd = std::string(KORVANE_BOARD_PATH) + " --com " + std::to_string(com) + " " + args;
        pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", ("exec " + cmd + " >/dev/null").c_str(), nullptr);
            _exit(127);
        }
        std::string link =
            std::string(getenv("XDG_CONFIG_HOME")) + "/korvane/devices/COM" + std::to_string(com);
        for (int i = 0; i < 200 && !std::filesystem::exists(link); ++i) Sleep(10);
    }
    ~Board() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    pid_t pid;
};

// Settled usage: after a warm-up share of the run, against which the end is compared.
bool Grew(const char* what, Usage settled, Usage end) {
    bool grew = end.fds > settled.fds || end.rssKiB > settled.rssKiB + 512;
    if (grew)
        std::fprintf(stderr, "korvane-soak: %s: usage grew from %d fds/%ld KiB to %d fds/%ld KiB\n", what,
                     settled.fds, settled.rssKiB, end.fds, end.rssKiB);
    return grew;
}

bool PollTicks(long ticks) {
    Board board(3, "--tilt 100,50,3 --volts 1,1,1,1,1,1,1 --noise 2");
    if (ConnectBoard(3) != CONNECT_OK) return std::fprintf(stderr, "korvane-soak: no board\n"), false;
    Usage settled{}, start = Sample("poll", 0);
    long missed = 0;
    for (long i = 1; i <= ticks; ++i) {
        DiscardStrayBytes();
        TiltFrame frame{};
        bool ok =
            i % 2 ? ExchangeTilt(&frame) && frame.x == 100 : ExchangeVoltages() && g_fVoltage[0] == 1.0f;
        missed += !ok;
        if (i == ticks / 10) settled = Sample("poll", i);
        if (i % 1000 == 0) Sample("poll", i);
    }
    DisconnectBoard();
    std::printf("poll: %ld ticks, %ld without a whole frame (stray bytes inside the wait)\n", ticks, missed);
    (void)start;
    // Two stray bytes a second land inside a 30-50 ms wait on roughly one tick in eight.
    return !Grew("poll", settled, Sample("poll end", ticks)) && missed < ticks / 4;
}

bool ConnectionAttempts(long attempts) {
    Board good(3, "--tilt 1,2,3"), silent(4, "--silent");
    Usage settled{};
    const int expected[] = {CONNECT_OK, CONNECT_NO_ANSWER, CONNECT_OPEN_FAILED};
    const int coms[] = {3, 4, 5}; // COM5: no link, no device
    for (long i = 1; i <= attempts; ++i) {
        int result = ConnectBoard(coms[i % 3]);
        if (result != expected[i % 3]) {
            std::fprintf(stderr, "korvane-soak: attempt %ld on COM%d gave %d\n", i, coms[i % 3], result);
            return false;
        }
        if (i == attempts / 10) settled = Sample("connect", i);
        if (i % 100 == 0) Sample("connect", i);
    }
    DisconnectBoard();
    return !Grew("connect", settled, Sample("connect end", attempts));
}

bool KilledWriters(long writes) {
    std::string path = std::string(getenv("XDG_CONFIG_HOME")) + "/korvane.INI";
    profile::WriteInt(path, "MyKorvaneAp", "KorvaneComPort", 1);
    std::mt19937 random(7);
    for (long i = 1; i <= writes; ++i) {
        pid_t child = fork();
        if (child == 0) {
            for (int v = 0;; ++v) profile::WriteInt(path, "MyKorvaneAp", "KorvaneComPort", v % 16 + 1);
        }
        usleep(random() % 3000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        int value = profile::ReadInt(path, "MyKorvaneAp", "KorvaneComPort", -1);
        if (value < 1 || value > 16) {
            std::fprintf(stderr, "korvane-soak: profile damaged after kill %ld (read %d)\n", i, value);
            return false;
        }
    }
    std::printf("profile: %ld writers killed, the profile whole after each\n", writes);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    long ticks = argc > 1 ? std::atol(argv[1]) : 10000;
    long attempts = argc > 2 ? std::atol(argv[2]) : 1000;
    long writes = argc > 3 ? std::atol(argv[3]) : 1000;
    char dir[] = "/tmp/korvane-soak-XXXXXX";
    if (!mkdtemp(dir)) return std::perror("korvane-soak: mkdtemp"), 1;
    setenv("XDG_CONFIG_HOME", dir, 1); // the user's own links and profile are never touched
    bool ok = PollTicks(ticks) && ConnectionAttempts(attempts) && KilledWriters(writes);
    std::filesystem::remove_all(dir);
    std::printf("%s\n", ok ? "soak: passed" : "soak: FAILED");
    return ok ? 0 : 1;
}
