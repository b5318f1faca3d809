// termios2 through raw ioctls; see termios2_posix.h for why this file stands alone.
#include "termios2_posix.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tty2 {

bool GetSpeed(int fd, uint32_t* baud) {
    struct ::termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    // The kernel keeps c_ospeed in step with CBAUD, whichever way the speed was set.
    *baud = tio.c_ospeed;
    return true;
}

bool SetSpeed(int fd, uint32_t baud) {
    struct ::termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ospeed = baud;
    tio.c_ispeed = baud;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

bool MakeRaw(int fd) {
    struct ::termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace tty2
