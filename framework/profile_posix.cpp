// Profile file access on POSIX: reading, the atomic replacement and the default folder.
#include "profile.h"

#include <win32_posix.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace profile {
namespace {

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadFile(const std::string& path, std::string* text) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) text->append(buf, static_cast<size_t>(n));
    close(fd);
    return n == 0 ? ReadResult::Ok : ReadResult::Failed; // a directory fails here with EISDIR
}

// Writes the profile through a symbolic link to the file it names, as an editor would.
std::string ResolveLink(const std::string& path) {
    struct stat st {};
    char real[PATH_MAX];
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && realpath(path.c_str(), real)) return real;
    return path;
}

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p; the folders created are private (XDG asks for 0700).
bool MakeFolders(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        std::string part = folder.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Mode for the new file: the old file's, else what a plain creat() would give.
mode_t ModeFor(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
    mode_t mask = umask(0); // only way to read it; restored at once (one GUI thread)
    umask(mask);
    return 0666 & ~mask;
}

bool Replace(const std::string& path, const std::string& text) {
    std::string folder = Folder(path);
    if (!MakeFolders(folder)) return false;
    std::string temp = path + ".tmp" + std::to_string(getpid());
    unlink(temp.c_str()); // a leftover of a crashed write
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, text) && fchmod(fd, ModeFor(path)) == 0 && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir); // makes the rename itself durable
        close(dir);
    }
    return true;
}

} // namespace

int ReadInt(const std::string& path, const char* section, const char* key, int def) {
    std::string text;
    std::string raw;
    int value = def;
    if (ReadFile(path, &text) != ReadResult::Ok) return def;
    if (!GetValue(text, section, key, &raw) || !ParseValue(raw, &value)) return def;
    return value;
}

bool WriteInt(const std::string& path, const char* section, const char* key, int value) {
    if (path.empty()) return false;
    std::string target = ResolveLink(path);
    std::string text;
    // An existing file that cannot be read is left alone: rewriting it would lose its contents.
    if (ReadFile(target, &text) == ReadResult::Failed) return false;
    return Replace(target, SetValue(text, section, key, std::to_string(value)));
}

std::string PathFor(const std::string& name) {
    // No home at all: no profile path, so reads give the defaults and writes fail, rather than
    // writing into the root directory.
    std::string config = win32posix::ConfigHomeDirectory();
    return config.empty() ? std::string() : config + "/" + name + ".INI";
}

} // namespace profile
