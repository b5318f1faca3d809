// Why a COM port did not open, on POSIX: what its device path, its link and its permissions say.
#include "connect.h"

#include "serial_line_posix.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {
namespace {

// The device a COM name leads to with every link followed; `path` itself when it leads nowhere.
std::string Resolved(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : path;
}

// The group that may open `device`: its own group when that group has read and write access (as
// dialout has on serial devices), else dialout.
std::string DeviceGroup(const std::string& device) {
    struct stat info {};
    if (stat(device.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
        if (const group* owner = getgrgid(info.st_gid)) return owner->gr_name;
    }
    return "dialout";
}

} // namespace

std::string OpenFailureHint(int com) {
    const std::string path = win32posix::ComDevicePath(com);
    const std::string name = "COM" + std::to_string(com);
    struct stat link {};
    const bool isLink = lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    if (access(path.c_str(), F_OK) != 0 && isLink)
        return name + " leads to " + path + ", a link to a device that is not there: is it plugged in?";
    if (access(path.c_str(), F_OK) != 0)
        return "there is no " + path + ": map " + name + " to your device (korvane-cli map " + name +
               " PATH)";
    const std::string device = Resolved(path);
    if (access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
        const std::string group = DeviceGroup(device);
        return "no permission for " + device + ": add yourself to the " + group +
               " group (sudo usermod -aG " + group + " $USER) and log in again";
    }
    return device + " did not open as a serial port: another program may hold it, or it is no serial device";
}

} // namespace cli
