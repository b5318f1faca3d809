// The board on POSIX: korvane-board as a child process, linked as COM3 in a private configuration
// directory. Each wait has a time limit, and the board itself is killed after 30 s at the latest.
#include "board_peer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kCom = 3;

// The inner shell prints its process id and becomes the board; timeout(1) bounds its life.
std::string LaunchCommand(const std::string& options) {
    return "exec timeout -s KILL 30 sh -c 'echo $$; exec \"$0\" \"$@\"' '" KORVANE_BOARD_PATH "' --com " +
           std::to_string(kCom) + " " + options + " 2>&1";
}

} // namespace

struct BoardPeer::Process {
    std::string dir = "/tmp/korvane-peer-XXXXXX";
    std::FILE* out = nullptr;
    pid_t pid = -1;

    // The next line of the board's output, without its newline; empty at the end.
    std::string Line() const {
        char line[512];
        return std::fgets(line, sizeof line, out) ? std::string(line, std::strcspn(line, "\n")) : "";
    }
};

BoardPeer::BoardPeer(const std::string& options) : m_process(new Process) {
    if (!mkdtemp(m_process->dir.data())) {
        m_problem = "no temporary directory";
        return;
    }
    setenv("XDG_CONFIG_HOME", m_process->dir.c_str(), 1);
    m_process->out = popen(LaunchCommand(options).c_str(), "r");
    if (!m_process->out) {
        m_problem = "korvane-board did not start";
        return;
    }
    m_process->pid = std::atoi(m_process->Line().c_str());
    std::string path = m_process->Line();
    std::string ready = m_process->Line();
    if (ready == "ready") {
        m_com = kCom;
    } else {
        m_problem = "korvane-board did not get ready: " + path + " " + ready;
    }
}

BoardPeer::~BoardPeer() {
    if (m_process->out) {
        if (m_process->pid > 0) kill(m_process->pid, SIGTERM);
        pclose(m_process->out);
    }
    std::filesystem::remove_all(m_process->dir);
    delete m_process;
}

bool BoardPeer::UnderWine() {
    return false;
}
