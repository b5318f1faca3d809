// korvane-cli as a child process for the tests: standard output on a pipe, read line by line, and
// standard error in a file read at the end. The board helpers (a private configuration directory
// for the whole test process, korvane-board as a child) come from the board's tests.
#pragma once

#include "board_session.h"
#include "cli.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace clitest {

/// korvane-cli run with `args` under timeout(1), which kills it after 20 s at the latest, so that no
/// read waits longer: the inner shell prints its process id and becomes the tool. `redirect` is a
/// shell redirection of standard output in place of the pipe (then there is no process id).
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& args, const std::string& redirect = "") {
        std::string command =
            "exec timeout -s KILL 20 sh -c 'echo $$ 2>/dev/null; exec \"$0\" \"$@\"' " KORVANE_CLI_PATH;
        for (std::string arg : args) {
            for (size_t at = 0; (at = arg.find('\'', at)) != std::string::npos; at += 4)
                arg.replace(at, 1, "'\\''");
            command += " '" + arg + "'";
        }
        close(mkstemp(m_errPath));
        m_out = popen((command + redirect + " 2>" + m_errPath).c_str(), "r");
        pid = std::atoi(OutLine().c_str());
        out.clear();
    }
    ~CliProcess() {
        if (m_out && pid > 0) kill(pid, SIGKILL);
        Finish();
        std::remove(m_errPath);
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    /// The next line of standard output without its newline; empty at its end.
    std::string OutLine() {
        char line[4096];
        if (!m_out || !std::fgets(line, sizeof line, m_out)) return "";
        out += line;
        return std::string(line, std::strcspn(line, "\n"));
    }
    /// Reads the rest of standard output (or, unless `readRest`, closes it as `| head -n1` does) and
    /// waits for the end. Returns the exit status; -1 when a signal ended the tool.
    int Finish(bool readRest = true) {
        char chunk[4096];
        for (size_t got; readRest && m_out && (got = std::fread(chunk, 1, sizeof chunk, m_out)) > 0;)
            out.append(chunk, got);
        if (!m_out) return status;
        const int raw = pclose(std::exchange(m_out, nullptr));
        std::stringstream text;
        text << std::ifstream(m_errPath).rdbuf();
        err = text.str();
        return status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    pid_t pid;
    int status = -1;
    std::string out, err; ///< everything read so far

private:
    char m_errPath[32] = "/tmp/korvane-cli-err-XXXXXX";
    std::FILE* m_out;
};

/// korvane-cli run with `args` to its end.
struct CliRun : CliProcess {
    explicit CliRun(const std::vector<std::string>& args, const std::string& redirect = "")
        : CliProcess(args, redirect) {
        Finish();
    }
};

/// The lines of `text`, without their newlines.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

} // namespace clitest
