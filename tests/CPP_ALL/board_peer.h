// The far end for the port tests that run on Windows as on POSIX: a korvane-board serving a COM
// port. On POSIX the test starts the board itself, in a private configuration directory; under Wine
// the test runner starts it on Linux and maps the COM port to its pseudo-terminal
// (scripts/with-board.sh), and the test only checks that the board runs with the options it needs.
#pragma once

#include <string>

class BoardPeer {
public:
    /// A board answering with `options` (korvane-board options, as KORVANE_BOARD_*_OPTIONS).
    explicit BoardPeer(const std::string& options);
    /// Ends a board this process started.
    ~BoardPeer();
    BoardPeer(const BoardPeer&) = delete;
    BoardPeer& operator=(const BoardPeer&) = delete;

    /// The COM number to open (index + 1); 0 when there is no board, and then Problem() says why.
    int Com() const { return m_com; }
    /// Why there is no board; empty when there is one.
    const std::string& Problem() const { return m_problem; }

    /// True when this Windows program runs under Wine, whose serial devices cannot show everything.
    static bool UnderWine();

private:
    int m_com = 0;
    std::string m_problem;
    struct Process;
    Process* m_process = nullptr; ///< a board this process started; null under Wine
};
