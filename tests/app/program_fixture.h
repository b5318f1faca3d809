// The board emulator for the program's tests, started with the helpers of board_fixture.h, and the
// COM links it is reached by.
#pragma once

#include "board_fixture.h"

#include <string>

namespace apptest {

/// A board on COM`com` with `args`, printing its log (read back with Log()).
struct Board : boardtest::BoardProcess {
    explicit Board(const std::string& args, int com = 3)
        : BoardProcess("--com " + std::to_string(com) + " --log " + args) {
        EXPECT_TRUE(Ready());
    }
    /// Ends the board; returns its log.
    std::string Log() {
        std::string log;
        kill(pid, SIGTERM);
        EXPECT_EQ(End(&log), 0);
        return log;
    }
};

/// Number of times `what` occurs in `text`.
inline int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

/// Makes COM`com` a link to `target` (by default nothing, so that opening it fails).
inline void MapCom(int com, const std::string& target = "/nonexistent/tty") {
    std::filesystem::create_directories(std::filesystem::path(boardtest::LinkPath(com)).parent_path());
    std::filesystem::remove(boardtest::LinkPath(com));
    std::filesystem::create_symlink(target, boardtest::LinkPath(com));
}

} // namespace apptest
