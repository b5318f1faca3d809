// korvane-cli poll: the tick loop over the program's exchanges.
#include "board_poll.h"

#include "BoardLink.h"
#include "connect.h"
#include "poll_clock.h"
#include "BoardRows.h"

#include <cerrno>
#include <cstring>

namespace cli {
namespace {

// One tick: the discard and the exchange of `mode`; the row, or the program's message for a voltage
// reply of the wrong length. False when `out` could not be written.
bool RunTick(const PollRequest& request, long long tMs, std::FILE* out, std::FILE* err) {
    DiscardStrayBytes();
    std::string row;
    TiltFrame frame{};
    if (request.mode == PollMode::Tilt) {
        if (ExchangeTilt(&frame)) row = TiltRow(request.format, tMs, frame);
    } else if (ExchangeVoltages()) {
        row = VoltageRow(request.format, tMs, g_fVoltage);
    } else {
        std::fprintf(err, "%s\n", kVoltageErrorMessage);
    }
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
    for (long long tick = 0; written && !StopRequests::Requested(); ++tick) {
        written = RunTick(request, periods * kTickMs, out, err);
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
    if (result == CONNECT_OK) result = RunTicks(request, out, err);
    DisconnectBoard();
    return result;
}

} // namespace cli
