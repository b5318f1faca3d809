// korvane-cli as a child process for the tests: its standard output and error on pipes, read with
// time limits, the child killed at the end when still running. The board helpers (a private
// configuration directory for the whole test process, korvane-board as a child) come from the
// board's tests.
#pragma once

#include "board_fixture.h"
#include "cli.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>

#include <chrono>
#include <string>
#include <vector>

namespace clitest {

/// korvane-cli run with `args`. As `user` when given: the child drops to that user and runs the
/// tool's code it already holds instead of the program, which may lie in a build tree that user
/// cannot reach.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& args, const passwd* user = nullptr) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        pid = fork();
        if (pid == 0) Exec(args, user, out[1], err[1]);
        close(out[1]);
        close(err[1]);
        m_fds[0] = out[0];
        m_fds[1] = err[0];
    }
    ~CliProcess() {
        if (pid > 0 && status == kRunning) kill(pid, SIGKILL);
        Finish(2000);
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    /// The next line of standard output without its newline; empty once `limitMs` passed.
    std::string OutLine(int limitMs = 5000) {
        const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
        size_t newline;
        while ((newline = out.find('\n', m_outLine)) == std::string::npos && Pump(end)) {
        }
        if (newline == std::string::npos) return "";
        std::string line = out.substr(m_outLine, newline - m_outLine);
        m_outLine = newline + 1;
        return line;
    }
    /// Closes the reading end of standard output, as `| head -n1` does after its line.
    void CloseOut() { CloseFd(m_fds[0]); }
    /// Reads the rest of both pipes and waits for the end (killing the child after `limitMs`).
    /// Returns the exit status, 128 + the signal when a signal ended it, -1 when it had to be killed.
    int Finish(int limitMs = 10000) {
        const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
        while (Pump(end)) {
        }
        if (pid <= 0 || status != kRunning) return status;
        bool killed = m_fds[0] >= 0 || m_fds[1] >= 0;
        if (killed) kill(pid, SIGKILL);
        int raw = 0;
        waitpid(pid, &raw, 0);
        for (int& fd : m_fds) CloseFd(fd);
        status = killed ? -1 : WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status;
    }

    static constexpr int kRunning = -2;
    pid_t pid = -1;
    int status = kRunning;
    std::string out, err; ///< everything read so far

private:
    using Clock = std::chrono::steady_clock;

    [[noreturn]] static void Exec(const std::vector<std::string>& args, const passwd* user, int out,
                                  int err) {
        alarm(20); // a child that hangs dies on its own
        if (user && (setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0)) _exit(120);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(KORVANE_CLI_PATH)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (user) {
            int status = cli::RunCli(static_cast<int>(args.size()) + 1, argv.data(), stdout, stderr);
            std::fflush(nullptr);
            _exit(status);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    static void CloseFd(int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    // Reads what either pipe has, waiting until `end` at most; false once both ended or time is up.
    bool Pump(Clock::time_point end) {
        pollfd fds[2] = {{m_fds[0], POLLIN, 0}, {m_fds[1], POLLIN, 0}};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if ((m_fds[0] < 0 && m_fds[1] < 0) || left <= 0 || poll(fds, 2, static_cast<int>(left)) <= 0)
            return false;
        std::string* into[2] = {&out, &err};
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char chunk[4096];
            ssize_t got = read(m_fds[i], chunk, sizeof chunk);
            if (got > 0) into[i]->append(chunk, static_cast<size_t>(got));
            if (got <= 0) CloseFd(m_fds[i]);
        }
        return true;
    }

    int m_fds[2] = {-1, -1};
    size_t m_outLine = 0;
};

/// Runs korvane-cli with `args` to its end.
struct CliRun {
    explicit CliRun(const std::vector<std::string>& args, const passwd* user = nullptr)
        : process(args, user) {
        status = process.Finish();
    }
    CliProcess process;
    int status;
    const std::string& out() const { return process.out; }
    const std::string& err() const { return process.err; }
};

/// The lines of `text`, without their newlines.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

} // namespace clitest
