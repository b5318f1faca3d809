// Helpers for the emulator's tests: a private device directory, a board running in-process on a
// thread or as a child process, and the program's side of the line (WinCommPort + CommLink +
// PortSettings), which is what the emulator exists for. Every wait has a time limit.
#pragma once

#include "CommLink.h"
#include "PortSettings.h"
#include "WinCommPort.h"
#include "board.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace boardtest {

/// The device directory of this test process (XDG_CONFIG_HOME points into a temporary directory).
std::string DevicesDir();
/// Path of the COM`com` link in it.
std::string LinkPath(int com);
/// Target of the link at `path`; empty when there is no link.
std::string LinkTarget(const std::string& path);
/// Open file descriptors of this process.
int OpenFdCount();

/// A board running in-process: parsed and started on construction, served on a thread.
class BoardThread {
public:
    /// `args` without the program name.
    explicit BoardThread(const std::vector<std::string>& args);
    /// Stops the board and waits for it.
    ~BoardThread();
    /// Empty when the board started; otherwise why not (the thread is then not started).
    const std::string& StartError() const { return m_startError; }
    /// What the board printed so far: lifecycle lines and --log lines.
    std::string Output() const;
    /// Asks the board to end and waits for it; returns Run's status.
    int Stop();

private:
    board::BoardOptions m_options;
    std::FILE* m_out;
    std::unique_ptr<board::Board> m_board;
    std::string m_startError;
    int m_stop[2] = {-1, -1};
    int m_status = -1;
    std::thread m_thread;
};

/// The program's side of the line on COM`com`, as the program builds it, at `baud` 8N1.
class Client {
public:
    Client(int com, int baud);
    /// 0 when the port opened and took the speed.
    int OpenStatus() const { return m_status; }
    /// Sends `command` and returns what arrived: waits up to `limitMs` for a first byte, then
    /// `settleMs` more for the rest of the reply.
    std::vector<uint8_t> Exchange(char command, int limitMs = 1000, int settleMs = 60);
    /// The bytes queued once a first byte came (at most `limitMs`) and `settleMs` more passed.
    std::vector<uint8_t> Collect(int limitMs, int settleMs);
    /// Changes the line speed: the PortSettings status.
    int SetBaud(int baud) { return m_settings.Set(baud, 'N', 8, 1); }
    CommLink& Link() { return m_link; }

private:
    WinCommPort m_port;
    CommLink m_link;
    PortSettings m_settings;
    int m_status;
};

/// korvane-board as a child process with its standard output and error on one pipe.
class ChildBoard {
public:
    explicit ChildBoard(const std::vector<std::string>& args);
    /// Kills the child if it still runs.
    ~ChildBoard();
    /// The next line of output without its newline; empty after `limitMs` or at the end.
    std::string ReadLine(int limitMs);
    /// The rest of the output up to its end, or what came within `limitMs`.
    std::string Output(int limitMs);
    /// Waits up to `limitMs` for the exit; returns the exit status, or -1 (then it is killed).
    int Wait(int limitMs);
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_pending;
};

/// Context switches of process `pid` so far (voluntary and not), from /proc: its wake-ups.
long ContextSwitches(pid_t pid);
/// CPU time of process `pid` so far (user and system) in clock ticks, from /proc.
long CpuTicks(pid_t pid);

} // namespace boardtest
