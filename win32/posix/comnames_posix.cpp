// COM names to device files, installed lines, the last-error value and its errno table.
#include "serial_line_posix.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxInstalled = 256;
win32posix::SerialLine* g_installed[kMaxInstalled + 1] = {};

thread_local DWORD t_lastError = ERROR_SUCCESS;

// The one errno -> Windows error table of the stand-in.
struct ErrnoRow {
    int error;
    DWORD windows;
};
constexpr ErrnoRow kErrnoTable[] = {
    {0, ERROR_SUCCESS},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {ELOOP, ERROR_PATH_NOT_FOUND},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED},
    {EWOULDBLOCK, ERROR_ACCESS_DENIED}, // flock held: the device is in use
    {EBUSY, ERROR_ACCESS_DENIED},       // TIOCEXCL held
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {ENOTTY, ERROR_INVALID_FUNCTION},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENAMETOOLONG, ERROR_INVALID_NAME},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {EINTR, ERROR_OPERATION_ABORTED},
    {EFAULT, ERROR_NOACCESS},
    {EIO, ERROR_GEN_FAILURE},
    {ENXIO, ERROR_DEVICE_NOT_CONNECTED},
    {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
    {EINPROGRESS, ERROR_IO_PENDING}, // a line left the operation to finish later
};

bool StartsWithNoCase(const char* text, const char* prefix, size_t* length) {
    *length = std::strlen(prefix);
    return strncasecmp(text, prefix, *length) == 0;
}

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : "";
}

} // namespace

DWORD GetLastError(void) {
    return t_lastError;
}

void SetLastError(DWORD error) {
    t_lastError = error;
}

namespace win32posix {

DWORD WindowsErrorFromErrno(int error) {
    for (const ErrnoRow& row : kErrnoTable) {
        if (row.error == error) return row.windows;
    }
    return ERROR_GEN_FAILURE;
}

int ComNumberOf(const char* name) {
    size_t skip = 0;
    if (!name) return 0;
    if (!StartsWithNoCase(name, "\\\\.\\COM", &skip) && !StartsWithNoCase(name, "COM", &skip)) return 0;
    const char* digits = name + skip;
    if (!std::isdigit(static_cast<unsigned char>(*digits)) || std::strlen(digits) > 9) return 0;
    for (const char* c = digits; *c; ++c) {
        if (!std::isdigit(static_cast<unsigned char>(*c))) return 0;
    }
    return std::atoi(digits);
}

std::string ConfigHomeDirectory() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // The XDG rules ignore a relative value.
    if (config && config[0] == '/') return config;
    std::string home = HomeDirectory();
    return home.empty() ? std::string() : home + "/.config";
}

std::string ComDeviceDirectory() {
    std::string config = ConfigHomeDirectory();
    return config.empty() ? std::string() : config + "/korvane/devices";
}

std::string ComDevicePath(int comNumber) {
    std::string directory = ComDeviceDirectory();
    std::string entry = directory + "/COM" + std::to_string(comNumber);
    struct stat info {};
    // lstat: a dangling link still names the device the user meant; opening it then fails.
    if (!directory.empty() && lstat(entry.c_str(), &info) == 0) return entry;
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

bool InstallSerialLine(int comNumber, SerialLine* line) {
    if (comNumber < 1 || comNumber > kMaxInstalled) return false;
    g_installed[comNumber] = line;
    return true;
}

SerialLine* InstalledSerialLine(int comNumber) {
    return comNumber >= 1 && comNumber <= kMaxInstalled ? g_installed[comNumber] : nullptr;
}

} // namespace win32posix
