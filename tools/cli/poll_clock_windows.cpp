// The poll's stop request and ticks on Windows: a console control handler, and deadlines on the
// steady clock waited for on the event that the stop request sets.
#include "poll_clock.h"

#include "tick_schedule.h"

#include <windows.h>

#include <atomic>
#include <cerrno>
#include <chrono>

namespace cli {
namespace {

std::atomic<bool> s_stopRequested{false};

// Both events are made once and never closed: the control handler runs on a thread of its own and
// may still hold one while the poll ends.
HANDLE StopEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}
// Set when the StopRequests goes, that is when the poll has ended with the port closed.
HANDLE DoneEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// The system ends a process five seconds after its console was closed, whatever the handler does.
constexpr DWORD kCloseWaitMs = 4000;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    s_stopRequested = true;
    SetEvent(StopEvent());
    // After a close the process ends as soon as this returns: let the poll close the port first.
    if (event == CTRL_CLOSE_EVENT) WaitForSingleObject(DoneEvent(), kCloseWaitMs);
    return TRUE;
}

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

const char* const kStopRequestWords = "Ctrl+C, Ctrl+Break or closing the console window";

StopRequests::StopRequests() {
    s_stopRequested = false;
    ResetEvent(StopEvent());
    ResetEvent(DoneEvent());
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopRequests::~StopRequests() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    SetEvent(DoneEvent());
}

bool StopRequests::Requested() {
    return s_stopRequested;
}

bool ReaderGone() {
    const DWORD error = GetLastError();
    // Windows says ERROR_NO_DATA for a pipe whose reader closed it, Wine ERROR_PIPE_NOT_CONNECTED.
    return errno == EPIPE || error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE ||
           error == ERROR_PIPE_NOT_CONNECTED;
}

Ticker::Ticker(int periodMs) : m_periodMs(periodMs), m_startMs(SteadyMs()) {}

Ticker::~Ticker() = default;

bool Ticker::Ok() const {
    return StopEvent() != nullptr;
}

std::string Ticker::Failure() const {
    return "no event to wait on (Windows error " + std::to_string(GetLastError()) + ")";
}

uint64_t Ticker::Wait() {
    while (!s_stopRequested) {
        const TickStep step = NextTick(SteadyMs() - m_startMs, m_counted, m_periodMs);
        if (step.periods > 0) {
            m_counted += step.periods;
            return step.periods;
        }
        // The wait may end a little early on a coarse clock; the loop then waits the rest.
        if (WaitForSingleObject(StopEvent(), static_cast<DWORD>(step.waitMs)) != WAIT_TIMEOUT) break;
    }
    return 0;
}

} // namespace cli
