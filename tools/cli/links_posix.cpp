// korvane-cli map and unmap on POSIX: symbolic links in the device directory.
#include "links.h"

#include "args.h"
#include "serial_line_posix.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace cli {
namespace {

std::string LinkPath(int com) {
    return win32posix::ComDeviceDirectory() + "/COM" + std::to_string(com);
}

int Fail(std::FILE* err, const std::string& what, const std::string& path, int error) {
    std::fprintf(err, "korvane-cli: cannot %s %s: %s\n", what.c_str(), path.c_str(), std::strerror(error));
    return EXIT_FAILED;
}

// Makes a link to `target` under a name of its own beside `path` and returns that name; empty with
// errno set when it could not.
std::string TemporaryLink(const std::string& target, const std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        if (symlink(target.c_str(), name.c_str()) == 0) return name;
        if (errno != EEXIST) break;
    }
    return "";
}

} // namespace

const LinkHelp kLinkHelp{"make COM lead to a device (a link in the device directory)",
                         "the device, best a /dev/serial/by-id name",
                         "remove the link of COM; it opens /dev/ttyS<n-1> again"};

int MapCom(int com, const std::string& target, std::FILE* out, std::FILE* err) {
    const std::string directory = win32posix::ComDeviceDirectory();
    if (directory.empty()) return Fail(err, "find", "the configuration directory", ENOENT);
    std::error_code error;
    fs::create_directories(directory, error);
    if (error) return Fail(err, "create", directory, error.value());
    const std::string absolute = fs::absolute(target, error).lexically_normal().string();
    const std::string path = LinkPath(com);
    const std::string temporary = TemporaryLink(absolute, path);
    if (temporary.empty()) return Fail(err, "create a link in", directory, errno);
    // rename() replaces the old link in one step.
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        int renameError = errno;
        unlink(temporary.c_str());
        return Fail(err, "replace", path, renameError);
    }
    std::fprintf(out, "COM%d -> %s\n", com, absolute.c_str());
    if (access(absolute.c_str(), F_OK) != 0)
        std::fprintf(err, "korvane-cli: warning: %s does not exist (yet)\n", absolute.c_str());
    return EXIT_OK;
}

int UnmapCom(int com, std::FILE* out, std::FILE* err) {
    if (win32posix::ComDeviceDirectory().empty())
        return Fail(err, "find", "the configuration directory", ENOENT);
    const std::string path = LinkPath(com);
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        std::fprintf(err, "korvane-cli: COM%d has no link (%s)\n", com, path.c_str());
        return EXIT_FAILED;
    }
    if (!S_ISLNK(info.st_mode)) {
        std::fprintf(err, "korvane-cli: %s is not a link; left alone\n", path.c_str());
        return EXIT_FAILED;
    }
    if (unlink(path.c_str()) != 0) return Fail(err, "remove", path, errno);
    std::fprintf(out, "COM%d unmapped: it opens %s again\n", com, win32posix::ComDevicePath(com).c_str());
    return EXIT_OK;
}

} // namespace cli
