// The board session of every suite that talks to a board (POSIX): a private device directory, the
// korvane-board program as a child process, and a Session = such a board plus the program's side of
// the line (board_client.h) on its COM port. Every wait has a time limit.
//   boardtest::Session s("--tilt 1,2,3 --delay 300");   // board on COM3, client at 38400 8N1
//   ASSERT_TRUE(s.ready) << s.board.path;
//   EXPECT_EQ(s.client.Exchange('P'), boardtest::Bytes{'Q'});
#pragma once

#include "board_client.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace boardtest {

/// Points XDG_CONFIG_HOME at a fresh temporary directory for the whole test process (so links never
/// touch the real home, and parallel test processes never share one) and removes it at the end.
inline const struct PrivateConfig {
    char dir[31] = "/tmp/korvane-board-test-XXXXXX";
    PrivateConfig() { setenv("XDG_CONFIG_HOME", mkdtemp(dir) ? dir : "/nonexistent", 1); }
    ~PrivateConfig() { std::filesystem::remove_all(dir); }
} g_config;

/// Path of the COM`com` link in the device directory.
inline std::string LinkPath(int com) {
    return std::string(std::getenv("XDG_CONFIG_HOME")) + "/korvane/devices/COM" + std::to_string(com);
}

/// Target of the COM`com` link; empty when there is none.
inline std::string LinkTarget(int com) {
    std::error_code error;
    return std::filesystem::read_symlink(LinkPath(com), error).string();
}

/// What `fd` delivers once readable (at most 1 s) and 20 ms more passed.
inline Bytes ReadReply(int fd) {
    pollfd ready{fd, POLLIN, 0};
    uint8_t got[64];
    if (poll(&ready, 1, 1000) != 1) return {};
    Sleep(20);
    return Bytes(got, got + std::max<ssize_t>(read(fd, got, sizeof got), 0));
}

/// The start of a shell command that runs korvane-board under timeout(1), which kills it after 30 s
/// at the latest (a publish test keeps one board for about 9 s, more under the sanitizers): the inner
/// shell prints its process id and becomes the board.
inline constexpr const char* kLaunch =
    R"(exec timeout -s KILL 30 sh -c 'echo $$; exec "$0" "$@"' ')" KORVANE_BOARD_PATH "' ";

/// korvane-board run with `args` (split at spaces), its standard output and error on one pipe. No
/// read waits longer than its time limit.
struct BoardProcess {
    explicit BoardProcess(const std::string& args)
        : out(popen((kLaunch + args + " 2>&1").c_str(), "r")), pid(std::atoi(Line().c_str())) {}
    /// Ends a board still running with SIGTERM: it must end cleanly then.
    ~BoardProcess() {
        if (out && pid > 0) kill(pid, SIGTERM);
        EXPECT_EQ(out ? End() : 0, 0) << "the board did not end cleanly on SIGTERM";
    }
    /// The next line of output without its newline; empty at the end.
    std::string Line() {
        char line[512];
        return out && std::fgets(line, sizeof line, out) ? std::string(line, std::strcspn(line, "\n")) : "";
    }
    /// True once the board printed the path of its line (kept in `path`) and "ready".
    bool Ready() {
        path = Line();
        return Line() == "ready";
    }
    /// The path of the process's entry `entry` in /proc.
    std::string Proc(const char* entry) const { return "/proc/" + std::to_string(pid) + "/" + entry; }
    /// Appends the rest of the output to `rest`; returns the exit status, -1 when it was killed (as at
    /// the time limit).
    int End(std::string* rest = nullptr) {
        char chunk[512];
        for (size_t got; out && (got = std::fread(chunk, 1, sizeof chunk, out)) > 0;)
            if (rest) rest->append(chunk, got);
        int status = out ? pclose(std::exchange(out, nullptr)) : -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::FILE* out;
    pid_t pid;        ///< the board's process id
    std::string path; ///< the path of its line, once Ready
};

/// A board run as COM`com` with `args` and, once it is ready, a client on that port at `baud`:
/// `ready` says both are.
struct Session {
    explicit Session(const std::string& args, int baud = 38400, int com = 3)
        : board("--com " + std::to_string(com) + " " + args), client(board.Ready() ? com : 0, baud),
          ready(client.status == 0) {}
    BoardProcess board;
    Client client;
    bool ready;
};

} // namespace boardtest
