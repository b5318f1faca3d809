/* The reference for korvane-cli poll --fast: the least a client can do per exchange over the same
 * line. It writes the command byte, waits in poll() until the reply's bytes are all there and reads
 * them; no discard, no count check, no rows. Plain C on the raw descriptor, so the figure is what the
 * line (a pty and the emulator's wire timing) allows.
 *
 *   bench_wire_client PATH BAUD COMMAND LENGTH EXCHANGES
 *
 * prints {"exchanges": N, "missed": M, "seconds": S}: a reply that is not whole within 100 ms is
 * missed (and what came of it is dropped before the next command). */
#include <asm/termbits.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* Raw 8N1 at any rate (termios2 with BOTHER). */
static int MakeRaw(int fd, unsigned baud) {
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0) return -1;
    tio.c_iflag = 0;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = tio.c_ospeed = baud;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &tio);
}

/* Reads `length` bytes, each wait at most until `deadline`: 1 when all came, 0 when not. */
static int ReadReply(int fd, size_t length, double deadline) {
    unsigned char reply[64];
    size_t got = 0;
    while (got < length) {
        int left = (int)((deadline - Now()) * 1000) + 1;
        struct pollfd wanted = {fd, POLLIN, 0};
        if (left <= 0 || poll(&wanted, 1, left) <= 0) return 0;
        ssize_t n = read(fd, reply + got, length - got);
        if (n < 0 && errno != EAGAIN) return 0;
        if (n > 0) got += (size_t)n;
    }
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: bench_wire_client PATH BAUD COMMAND LENGTH EXCHANGES\n");
        return 2;
    }
    int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    size_t length = (size_t)atoi(argv[4]);
    long exchanges = atol(argv[5]), missed = 0;
    if (fd < 0 || MakeRaw(fd, (unsigned)atoi(argv[2])) != 0 || length < 1 || length > 64) {
        fprintf(stderr, "wire client: cannot use %s: %s\n", argv[1], strerror(errno));
        return 1;
    }
    unsigned char drop[256];
    double start = Now();
    for (long n = 0; n < exchanges; ++n) {
        if (write(fd, argv[3], 1) != 1) return 1;
        if (!ReadReply(fd, length, Now() + 0.1)) {
            ++missed;
            while (read(fd, drop, sizeof drop) > 0) {}
        }
    }
    printf("{\"exchanges\": %ld, \"missed\": %ld, \"seconds\": %.6f}\n", exchanges, missed, Now() - start);
    close(fd);
    return 0;
}
