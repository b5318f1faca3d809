// Pseudo-terminal pairs and raw client lines; see pty_posix.h.
#include "pty_posix.h"

#include "termios2_posix.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Closes `fd` without disturbing errno, so the caller still reports the first failure.
void CloseKeepingErrno(int fd) {
    int saved = errno;
    close(fd);
    errno = saved;
}

// The slave's path, or an empty string (errno set).
std::string SlaveName(int master) {
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) return {};
    return name;
}

} // namespace

namespace pty {

int OpenMaster(std::string* slavePath) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) return -1;
    std::string name;
    if (grantpt(master) != 0 || unlockpt(master) != 0 || (name = SlaveName(master)).empty()) {
        CloseKeepingErrno(master);
        return -1;
    }
    // Raw before anyone can see it: in canonical mode the slave would hold bytes back until a
    // newline and echo the client's commands back to the master.
    int slave = OpenRaw(name, 0);
    if (slave < 0) {
        CloseKeepingErrno(master);
        return -1;
    }
    close(slave);
    *slavePath = name;
    return master;
}

int OpenRaw(const std::string& path, uint32_t baud) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (!tty2::MakeRaw(fd) || (baud != 0 && !tty2::SetSpeed(fd, baud))) {
        CloseKeepingErrno(fd);
        return -1;
    }
    return fd;
}

bool DiscardUnread(const std::string& slavePath) {
    int fd = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool flushed = tcflush(fd, TCIFLUSH) == 0;
    CloseKeepingErrno(fd);
    return flushed;
}

} // namespace pty
