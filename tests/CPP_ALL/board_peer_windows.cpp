// The board under Wine: scripts/with-board.sh started it on Linux, mapped the COM port and says so
// in KORVANE_BOARD_COM and KORVANE_BOARD_OPTIONS.
#include "board_peer.h"

#include <windows.h>

#include <cstdlib>

struct BoardPeer::Process {};

BoardPeer::BoardPeer(const std::string& options) {
    const char* com = std::getenv("KORVANE_BOARD_COM");
    const char* served = std::getenv("KORVANE_BOARD_OPTIONS");
    if (!com || !served) {
        m_problem = "no board: run this test through ctest, which serves a board on a COM port";
    } else if (options != served) {
        m_problem =
            "the board runs with \"" + std::string(served) + "\", this test needs \"" + options + "\"";
    } else {
        m_com = std::atoi(com);
    }
}

BoardPeer::~BoardPeer() = default;

bool BoardPeer::UnderWine() {
    // Wine's ntdll exports its version; Windows' does not.
    return GetProcAddress(GetModuleHandleA("ntdll"), "wine_get_version") != nullptr;
}
