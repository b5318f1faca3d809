// The executable's name on Windows (the system metrics are the system's own).
#include "winapp.h"

#include <windows.h>

namespace {

std::string BaseWithoutExtension(const std::string& path) {
    std::string base = path.substr(path.find_last_of("\\/") + 1);
    size_t dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

} // namespace

std::string AfxExecutableName(const char* argv0) {
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    if (n > 0 && n < sizeof exe) return BaseWithoutExtension(std::string(exe, n));
    return argv0 ? BaseWithoutExtension(argv0) : std::string();
}
