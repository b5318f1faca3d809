// korvane-cli poll: the tick loop over the program's exchanges.
#include "board_poll.h"

#include "BoardLink.h"
#include "BoardRows.h"
#include "connect.h"
#include "fast_poll.h"
#include "poll_clock.h"
#include "watch.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

namespace cli {
namespace {

// One tick: the shared tick with its lines on `err`, and the row for a valid reply. False when
// `out` could not be written.
bool RunTick(const PollRequest& request, BoardWatch& watch, long long tMs, std::FILE* out) {
    const TickOutcome tick = watch.Tick(request.mode, GetTickCount());
    std::string row;
    if (tick.validReply)
        row = request.mode == PollMode::Tilt ? TiltRow(request.format, tMs, tick.tilt)
                                             : VoltageRow(request.format, tMs, g_fVoltage);
    return row.empty() || (std::fputs(row.c_str(), out) >= 0 && std::fflush(out) == 0);
}

// The tick loop after a successful connection. Returns the exit status.
int RunTicks(const PollRequest& request, std::FILE* out, std::FILE* err) {
    Ticker ticker(kTickMs);
    if (!ticker.Ok()) {
        std::fprintf(err, "korvane-cli: cannot make the tick timer: %s\n", ticker.Failure().c_str());
        return EXIT_FAILED;
    }
    std::string header = HeaderLine(request.mode, request.format);
    bool written = std::fputs(header.c_str(), out) >= 0 && std::fflush(out) == 0;
    long long periods = 0;
    BoardWatch watch(request.com, request.reconnect, err);
    for (long long tick = 0; written && !StopRequests::Requested(); ++tick) {
        written = RunTick(request, watch, periods * kTickMs, out);
        if (watch.Ended()) return EXIT_FAILED; // its line is out: "COM3: device gone"
        if (request.count > 0 && tick + 1 >= request.count) break;
        periods += static_cast<long long>(ticker.Wait());
    }
    if (written || ReaderGone()) return EXIT_OK;
    std::fprintf(err, "korvane-cli: cannot write the rows: %s\n", std::strerror(errno));
    return EXIT_FAILED;
}

} // namespace

int PollBoard(const PollRequest& request, std::FILE* out, std::FILE* err) {
    StopRequests stopRequests;
    int result = ConnectOrExplain(request.com, err);
    if (result == CONNECT_OK)
        result = request.fast ? RunFastPoll(request, out, err) : RunTicks(request, out, err);
    DisconnectBoard();
    return result;
}

} // namespace cli
