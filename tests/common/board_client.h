// The program's side of the line to a korvane-board (WinCommPort + CommLink + PortSettings, built as
// the program builds them), for the board's own tests and the port tests against it, on POSIX as on
// Windows. Every wait has a time limit.
#pragma once

#include "CommLink.h"
#include "PortSettings.h"
#include "WinCommPort.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

namespace boardtest {

using Bytes = std::vector<uint8_t>;

/// Asks `done` every millisecond, by the clock (under load a sleep lasts longer than asked), until it
/// holds or `limitMs` passed; returns whether it held.
inline bool WaitUntil(int limitMs, const std::function<bool()>& done) {
    for (DWORD start = GetTickCount(); !done(); Sleep(1))
        if (GetTickCount() - start >= DWORD(limitMs)) return false;
    return true;
}

/// The program's side of the line on COM`com` at `baud` 8N1.
struct Client {
    Client(int com, int baud) : port(com - 1, 4096, 2048, 0), link(&port), settings(&link) {
        uint16_t lineStatus = 0;
        status = link.CheckOpen(&lineStatus);
        if (status == 0) status = SetBaud(baud);
    }
    /// Changes the line speed: the PortSettings status.
    int SetBaud(int baud) { return settings.Set(baud, 'N', 8, 1); }
    /// Sends `command` (nothing for 0); returns the bytes queued once `least` bytes came (at most
    /// `limitMs`) and `settleMs` more passed. One look at the queue: a flooding board would keep a
    /// read-until-empty loop going forever.
    Bytes Exchange(char command, int limitMs = 1000, int settleMs = 60, int least = 1) {
        if (command) link.Send(&command, 1);
        WaitUntil(limitMs, [&] { return link.RxCount() >= least; });
        Sleep(static_cast<DWORD>(settleMs));
        int count = std::max(link.RxCount(), 0);
        Bytes bytes(static_cast<size_t>(count) + 1); // Receive adds a terminator
        bytes.resize(static_cast<size_t>(std::max(count ? link.Receive(bytes.data(), count, 100) : 0, 0)));
        return bytes;
    }

    WinCommPort port;
    CommLink link;
    PortSettings settings;
    int status; ///< 0 when the port opened and took the speed
};

} // namespace boardtest
