// Time, focus, message boxes and formatting of the POSIX stand-in.
#include "win32_posix.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <sched.h>

namespace {

win32posix::MessageBoxHandler g_messageBoxHandler = nullptr;
win32posix::FocusSource g_focusSource = nullptr;

// Largest buffer wsprintfA writes into, terminator included (the Windows limit).
constexpr size_t kWsprintfLimit = 1024;

} // namespace

namespace win32posix {

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler previous = g_messageBoxHandler;
    g_messageBoxHandler = handler;
    return previous;
}

FocusSource SetFocusSource(FocusSource source) {
    FocusSource previous = g_focusSource;
    g_focusSource = source;
    return previous;
}

} // namespace win32posix

DWORD GetTickCount(void) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Truncation to 32 bits is the point: the count wraps like the Windows one.
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

void Sleep(DWORD ms) {
    if (ms == 0) {
        sched_yield();
        return;
    }
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    // nanosleep stops early for a signal; carry on with what is left so the sleep is never short.
    while (nanosleep(&left, &left) != 0) {
    }
}

HWND GetFocus(void) {
    return g_focusSource ? g_focusSource() : nullptr;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (g_messageBoxHandler) return g_messageBoxHandler(owner, text, caption, type);
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    return IDOK;
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    int wanted = std::vsnprintf(buffer, kWsprintfLimit, format, args);
    va_end(args);
    if (wanted < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return wanted < static_cast<int>(kWsprintfLimit) ? wanted : static_cast<int>(kWsprintfLimit) - 1;
}
