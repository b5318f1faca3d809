// What Windows itself provides and a POSIX build of the framework supplies here: the system
// metrics the framework knows and the executable's name.
#include "winapp.h"

#include <climits>
#include <unistd.h>

namespace {

// One table of the metrics the framework knows.
struct Metric {
    int index;
    int value;
};
constexpr Metric kMetrics[] = {
    {SM_CXICON, 32},
    {SM_CYICON, 32},
    {SM_CXSMICON, 16},
    {SM_CYSMICON, 16},
};

std::string BaseWithoutExtension(const std::string& path) {
    std::string base = path.substr(path.rfind('/') + 1);
    size_t dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

} // namespace

int GetSystemMetrics(int index) {
    for (const Metric& m : kMetrics) {
        if (m.index == index) return m.value;
    }
    return 0;
}

std::string AfxExecutableName(const char* argv0) {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) return BaseWithoutExtension(std::string(exe, static_cast<size_t>(n)));
    return argv0 ? BaseWithoutExtension(argv0) : std::string();
}
