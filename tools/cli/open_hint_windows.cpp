// Why a COM port did not open, on Windows: the system's error when the port is opened once more.
#include "open_hint_windows.h"

#include "connect.h"

#include <windows.h>

namespace cli {
namespace {

// What each Windows error from opening a COM port means, after the port's name.
struct ErrorHint {
    DWORD error;
    const char* text;
};
constexpr ErrorHint kHints[] = {
    {ERROR_SUCCESS, ": it opens now: another program may have held it for a moment"},
    {ERROR_FILE_NOT_FOUND, ": no such port on this system (korvane-cli ports lists the ones there are)"},
    {ERROR_PATH_NOT_FOUND, ": no such port on this system (korvane-cli ports lists the ones there are)"},
    {ERROR_SHARING_VIOLATION, ": in use by another program: close it and try again"},
    {ERROR_BUSY, ": in use by another program: close it and try again"},
    {ERROR_ACCESS_DENIED,
     ": access denied: another program has it open (close it), or this account may not use it"},
};

// The system's text for `error` on one line; empty when it has none.
std::string SystemText(DWORD error) {
    char text[512] = {};
    const DWORD size = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      error, 0, text, sizeof text, nullptr);
    std::string line(text, size);
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

} // namespace

std::string OpenErrorHint(int com, unsigned long error) {
    const std::string name = "COM" + std::to_string(com);
    for (const ErrorHint& hint : kHints)
        if (hint.error == error) return name + hint.text;
    const std::string text = SystemText(error);
    return name + ": Windows error " + std::to_string(error) + (text.empty() ? "" : ": " + text);
}

std::string OpenFailureHint(int com) {
    const std::string name = "\\\\.\\COM" + std::to_string(com);
    const HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    const DWORD error = handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    return OpenErrorHint(com, error);
}

} // namespace cli
