// The board on POSIX: korvane-board as a child process (the board tests' own launcher, with its time
// limits), linked as COM3 in that launcher's private configuration directory.
#include "board_peer.h"

#include "../common/board_session.h"

struct BoardPeer::Process : boardtest::BoardProcess {
    using BoardProcess::BoardProcess;
};

BoardPeer::BoardPeer(const std::string& options) : m_process(new Process("--com 3 " + options)) {
    if (m_process->Ready()) {
        m_com = 3;
    } else {
        m_problem = "korvane-board did not get ready: " + m_process->path;
    }
}

BoardPeer::~BoardPeer() {
    delete m_process;
}

bool BoardPeer::UnderWine() {
    return false;
}
