// Bulk transfer over a pseudo-terminal, 1 MiB each way per round (see bulk_common.h).
//
//   bench_bulk peer ROUNDS [BYTES]            the far end: opens a pty, prints its slave's path and
//                                             "ready", then per round reads BYTES and sends BYTES back
//   bench_bulk commlink COM ROUNDS [BYTES [RX TX]]   the client through CommLink::Send / Receive on
//                                             COM<COM>, the port's queues RX and TX bytes (the
//                                             largest a port takes, 65535, unless given)
//   bench_bulk raw PATH ROUNDS [BYTES]        the client as plain blocking read/write on PATH
//   bench_bulk nonblocking PATH ROUNDS [BYTES]   the same on a non-blocking PATH, poll() between
//
// run.py starts one far end per client, so every contender meets the same peer program.
#include "bulk_common.h"

#include "CommLink.h"
#include "PortSettings.h"
#include "WinCommPort.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kBaud = 38400;              // a pty ignores the rate; every client sets the same one
constexpr uint32_t kLargestQueue = 65535; // a port's queue sizes are 16-bit

// Waits for `events` on `fd`: false after bulk::kLimitMs, or when the other side went away.
bool WaitFor(int fd, short events) {
    pollfd wanted{fd, events, 0};
    return poll(&wanted, 1, bulk::kLimitMs) == 1 && (wanted.revents & events);
}

// The far end's read of one round: all `bytes`, checked against the pattern as they come.
bool PeerRead(int master, size_t bytes) {
    std::vector<uint8_t> chunk(65536);
    for (size_t got = 0; got < bytes;) {
        if (!WaitFor(master, POLLIN)) return false;
        ssize_t n = read(master, chunk.data(), std::min(chunk.size(), bytes - got));
        if (n <= 0) return false;
        for (ssize_t i = 0; i < n; ++i) {
            if (chunk[static_cast<size_t>(i)] != bulk::PatternByte(got + static_cast<size_t>(i)))
                return false;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

bool PeerWrite(int master, const std::vector<uint8_t>& pattern) {
    for (size_t put = 0; put < pattern.size();) {
        if (!WaitFor(master, POLLOUT)) return false;
        ssize_t n = write(master, pattern.data() + put, pattern.size() - put);
        if (n < 0 && errno != EAGAIN) return false;
        put += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return true;
}

int RunPeer(int rounds, size_t bytes) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        std::fprintf(stderr, "peer: no pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("%s\nready\n", name);
    std::fflush(stdout);
    const std::vector<uint8_t> pattern = bulk::Pattern(bytes);
    for (int round = 0; round < rounds; ++round) {
        if (!PeerRead(master, bytes) || !PeerWrite(master, pattern)) {
            std::fprintf(stderr, "peer: round %d failed (short, late or not raw)\n", round);
            return 1;
        }
    }
    // Closing the master hangs the line up: wait until the client has read everything and closed.
    pollfd hangup{master, 0, 0};
    poll(&hangup, 1, bulk::kLimitMs);
    close(master);
    return 0;
}

// The client as an application of the link library writes it: Send hands over what the transmit
// queue takes, and after a short one the client waits on the port (IdleUpTo) for room; Receive
// waits the same way until its count is there.
int RunCommLink(int com, int rounds, size_t bytes, uint32_t rxQueue, uint32_t txQueue) {
    WinCommPort port(com - 1, rxQueue, txQueue, 0);
    CommLink link(&port);
    uint16_t lineStatus = 0;
    if (link.CheckOpen(&lineStatus) != 0) {
        std::fprintf(stderr, "commlink: COM%d did not open\n", com);
        return 1;
    }
    PortSettings settings(&link);
    if (settings.Set(kBaud, 'N', 8, 1) != 0) return 1;
    auto send = [&](const uint8_t* data, size_t count) {
        for (size_t sent = 0; sent < count;) {
            // Send takes at most a queue's worth; taking less means the device is full: wait for
            // room (the port wakes when it frees) rather than try again at once.
            const int offered = static_cast<int>(std::min<size_t>(count - sent, txQueue));
            int put = link.Send(data + sent, offered);
            sent += put > 0 ? static_cast<size_t>(put) : 0;
            if (put < offered && port.IdleUpTo(bulk::kLimitMs) < 0) return false;
        }
        return true;
    };
    auto receive = [&](uint8_t* buffer, size_t count) {
        for (size_t got = 0; got < count;) {
            int want = static_cast<int>(std::min<size_t>(count - got, rxQueue));
            int n = link.Receive(buffer + got, want, bulk::kLimitMs);
            if (n <= 0) return false;
            got += static_cast<size_t>(n);
        }
        return true;
    };
    return bulk::RunClient(rounds, bytes, send, receive);
}

// The reference: the same transfer as plain blocking read and write calls on a raw descriptor (run.py
// ends a client that hangs).
int RunRaw(const char* path, int rounds, size_t bytes) {
    int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (fd < 0 || tcgetattr(fd, &tio) != 0) {
        std::fprintf(stderr, "raw: cannot open %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    cfmakeraw(&tio);
    cfsetspeed(&tio, B38400);
    tcsetattr(fd, TCSANOW, &tio);
    auto send = [&](const uint8_t* data, size_t count) {
        for (size_t sent = 0; sent < count;) {
            ssize_t n = write(fd, data + sent, count - sent);
            if (n <= 0) return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    };
    auto receive = [&](uint8_t* buffer, size_t count) {
        for (size_t got = 0; got < count;) {
            ssize_t n = read(fd, buffer + got, count - got);
            if (n <= 0) return false;
            got += static_cast<size_t>(n);
        }
        return true;
    };
    int status = bulk::RunClient(rounds, bytes, send, receive);
    close(fd);
    return status;
}

// The floor for any client that must not block: the same transfer on a non-blocking descriptor,
// each short write or empty read followed by poll() for room or bytes. Against RunRaw it shows
// what waiting outside the kernel's read and write costs by itself.
int RunNonBlocking(const char* path, int rounds, size_t bytes) {
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (fd < 0 || tcgetattr(fd, &tio) != 0) {
        std::fprintf(stderr, "nonblocking: cannot open %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    auto send = [&](const uint8_t* data, size_t count) {
        for (size_t sent = 0; sent < count;) {
            ssize_t n = write(fd, data + sent, count - sent);
            if (n < 0 && errno != EAGAIN) return false;
            sent += n > 0 ? static_cast<size_t>(n) : 0;
            if (sent < count && !WaitFor(fd, POLLOUT)) return false;
        }
        return true;
    };
    auto receive = [&](uint8_t* buffer, size_t count) {
        for (size_t got = 0; got < count;) {
            ssize_t n = read(fd, buffer + got, count - got);
            if (n == 0 || (n < 0 && errno != EAGAIN)) return false;
            got += n > 0 ? static_cast<size_t>(n) : 0;
            if (n < 0 && !WaitFor(fd, POLLIN)) return false;
        }
        return true;
    };
    int status = bulk::RunClient(rounds, bytes, send, receive);
    close(fd);
    return status;
}

int Usage() {
    std::fprintf(stderr, "usage: bench_bulk peer ROUNDS [BYTES] | commlink COM ROUNDS [BYTES [RX TX]] | "
                         "raw|nonblocking PATH ROUNDS [BYTES]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "peer" && argc >= 3) return RunPeer(std::atoi(argv[2]), bulk::BytesArg(argc, argv, 3));
    if (mode == "commlink" && argc >= 4)
        return RunCommLink(std::atoi(argv[2]), std::atoi(argv[3]), bulk::BytesArg(argc, argv, 4),
                           argc > 6 ? static_cast<uint32_t>(std::atoi(argv[5])) : kLargestQueue,
                           argc > 6 ? static_cast<uint32_t>(std::atoi(argv[6])) : kLargestQueue);
    if (mode == "raw" && argc >= 4) return RunRaw(argv[2], std::atoi(argv[3]), bulk::BytesArg(argc, argv, 4));
    if (mode == "nonblocking" && argc >= 4)
        return RunNonBlocking(argv[2], std::atoi(argv[3]), bulk::BytesArg(argc, argv, 4));
    return Usage();
}
