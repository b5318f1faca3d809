// Device directory links.
#include "comlink.h"

#include <win32_posix.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace board {
namespace {

// mkdir -p: every missing component of `dir` with mode 0755. True when it exists afterwards.
bool MakeDirs(const std::string& dir) {
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        std::string part = dir.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat info {};
    return stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The target of the symbolic link `path`; empty when it is not a link (errno set).
std::string ReadLink(const std::string& path) {
    char target[4096];
    ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0) return {};
    return std::string(target, static_cast<size_t>(length));
}

// Points the existing `path` at `target` in one step, so a client never finds no link at all.
bool ReplaceLink(const std::string& path, const std::string& target) {
    std::string temporary = path + ".new." + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) return false;
    if (rename(temporary.c_str(), path.c_str()) == 0) return true;
    int saved = errno;
    unlink(temporary.c_str());
    errno = saved;
    return false;
}

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

} // namespace

std::string DevicesDir() {
    return win32posix::ComDeviceDirectory();
}

ComLink::~ComLink() {
    Remove();
}

std::string ComLink::Create(int com, const std::string& target, bool force) {
    Remove();
    std::string dir = DevicesDir();
    if (dir.empty()) return "cannot find the device directory: set HOME or XDG_CONFIG_HOME";
    if (!MakeDirs(dir)) return SystemError("cannot create the device directory", dir);
    std::string path = dir + "/COM" + std::to_string(com);
    if (symlink(target.c_str(), path.c_str()) != 0) {
        if (errno != EEXIST) return SystemError("cannot create the link", path);
        std::string existing = ReadLink(path);
        if (existing.empty()) return path + " exists and is not a link; move it away first";
        if (existing != target && !force)
            return path + " already links to " + existing +
                   " (another board or adapter?); use --force to replace it";
        if (existing != target && !ReplaceLink(path, target))
            return SystemError("cannot replace the link", path);
    }
    m_path = path;
    m_target = target;
    return {};
}

void ComLink::Remove() {
    if (m_path.empty()) return;
    if (ReadLink(m_path) == m_target) unlink(m_path.c_str());
    m_path.clear();
    m_target.clear();
}

} // namespace board
