// A SerialLine over a real terminal (ttyS, ttyUSB, ttyACM, a pty slave). Settings go through raw
// TCGETS2/TCSETS2 with BOTHER only; <asm/termbits.h> clashes with <termios.h>, so this file never
// includes the latter (tcflush/tcflow are their ioctls).
#include "serial_line_posix.h"

#include <asm/termbits.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

std::atomic<uint64_t> g_syscalls{0};

// Every system call of a line goes through here, so measurements can count them.
template <typename... Args> int Ioctl(int fd, unsigned long request, Args... args) {
    g_syscalls.fetch_add(1, std::memory_order_relaxed);
    return ioctl(fd, request, args...) == 0 ? 0 : errno;
}

struct ParityBits {
    tcflag_t bits;
};
// Indexed by NOPARITY..SPACEPARITY.
constexpr ParityBits kParityBits[5] = {
    {0}, {PARENB | PARODD}, {PARENB}, {PARENB | CMSPAR | PARODD}, {PARENB | CMSPAR}};
constexpr tcflag_t kParityMask = PARENB | PARODD | CMSPAR;

uint8_t ParityOf(tcflag_t cflag) {
    for (uint8_t i = 0; i < 5; ++i) {
        if ((cflag & kParityMask) == kParityBits[i].bits) return i;
    }
    return NOPARITY;
}

void ToTermios(const win32posix::LineSettings& s, struct ::termios2* tio) {
    static constexpr tcflag_t kSizes[4] = {CS5, CS6, CS7, CS8};
    tio->c_cflag &= ~(CSIZE | kParityMask | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    tio->c_cflag |= kSizes[(s.dataBits - 5) & 3] | kParityBits[s.parity % 5].bits;
    tio->c_cflag |= (s.twoStopBits ? CSTOPB : 0) | (s.rtsCts ? CRTSCTS : 0);
    tio->c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio->c_ospeed = tio->c_ispeed = s.baud;
    tio->c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio->c_iflag |= (s.xonOutput ? IXON : 0) | (s.xonInput ? IXOFF : 0) | (s.parityCheck ? INPCK : 0);
    tio->c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    tio->c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
}

void FromTermios(const struct ::termios2& tio, win32posix::LineSettings* s) {
    s->baud = tio.c_ospeed;
    s->dataBits =
        static_cast<uint8_t>(5 + ((tio.c_cflag & CSIZE) == CS6) + 2 * ((tio.c_cflag & CSIZE) == CS7) +
                             3 * ((tio.c_cflag & CSIZE) == CS8));
    s->parity = ParityOf(tio.c_cflag);
    s->twoStopBits = (tio.c_cflag & CSTOPB) != 0;
    s->rtsCts = (tio.c_cflag & CRTSCTS) != 0;
    s->xonOutput = (tio.c_iflag & IXON) != 0;
    s->xonInput = (tio.c_iflag & IXOFF) != 0;
    s->parityCheck = (tio.c_iflag & INPCK) != 0;
    s->xonChar = static_cast<char>(tio.c_cc[VSTART]);
    s->xoffChar = static_cast<char>(tio.c_cc[VSTOP]);
}

// Raw mode as a serial port needs it; HUPCL off so closing leaves DTR to the port's own calls.
int MakeRawNoHangup(int fd) {
    struct ::termios2 tio {};
    if (int error = Ioctl(fd, TCGETS2, &tio)) return error;
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | HUPCL);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    // With O_NONBLOCK, VMIN 1 tells an empty queue (EAGAIN) from a hung-up line (0, end of file).
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return Ioctl(fd, TCSETS2, &tio);
}

// A driver left in "38400 means a custom divisor" mode would ignore the rates set; drivers
// without TIOCGSERIAL (ptys, most USB adapters) cannot be in that mode.
void ClearCustomDivisor(int fd) {
    struct serial_struct serial {};
    if (Ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_SPD_MASK) == 0) return;
    serial.flags &= ~ASYNC_SPD_MASK;
    Ioctl(fd, TIOCSSERIAL, &serial);
}

// Monotonic milliseconds from the coarse clock (no system call).
int64_t CoarseNowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// What a status query takes in from the driver at most: four times the line discipline's 4 KiB
// queue, so one read nearly always empties it.
constexpr size_t kAheadBytes = 16384;

// How often an idle line checks that its name still leads to its device.
constexpr int64_t kNameCheckPeriodMs = 1000;

// The majors of Unix 98 pty slaves (136..143). A pty hands each write straight to its master's side:
// it has no transmit queue, TIOCOUTQ reads 0 even while the master leaves kilobytes unread.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajors = 8;

bool IsPtySlave(int fd) {
    struct stat info {};
    g_syscalls.fetch_add(1, std::memory_order_relaxed);
    return fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && major(info.st_rdev) >= kPtySlaveMajorFirst &&
           major(info.st_rdev) < kPtySlaveMajorFirst + kPtySlaveMajors;
}

class TtyLine : public win32posix::SerialLine {
public:
    TtyLine(int fd, const std::string& path)
        : m_fd(fd), m_path(path), m_device(DeviceOf(path)), m_epoll(epoll_create1(EPOLL_CLOEXEC)),
          m_hasTransmitQueue(!IsPtySlave(fd)) {}
    ~TtyLine() override {
        if (m_lowLatencySet) PutBackLatency();
        // The exclusive flag outlives this descriptor on a pty slave whose master stays open.
        Ioctl(m_fd, TIOCNXCL);
        close(m_fd);
        if (m_epoll >= 0) close(m_epoll);
    }
    TtyLine(const TtyLine&) = delete;
    TtyLine& operator=(const TtyLine&) = delete;

    int Read(void* buffer, size_t count, size_t* got) override {
        // What the last status query took in first; the device only for the rest.
        const size_t held = std::min(count, m_aheadEnd - m_aheadBegin);
        std::memcpy(buffer, m_ahead.data() + m_aheadBegin, held);
        m_aheadBegin += held;
        *got = held;
        if (held == count) return 0;
        g_syscalls.fetch_add(1, std::memory_order_relaxed);
        ssize_t n = read(m_fd, static_cast<char*>(buffer) + held, count - held);
        *got += n > 0 ? static_cast<size_t>(n) : 0;
        m_readTookBytes = n > 0;
        m_readFoundNone = n < 0 && errno == EAGAIN;
        return n >= 0 || errno == EAGAIN ? 0 : errno;
    }
    int Write(const void* bytes, size_t count, size_t* put) override {
        g_syscalls.fetch_add(1, std::memory_order_relaxed);
        ssize_t n = write(m_fd, bytes, count);
        *put = n > 0 ? static_cast<size_t>(n) : 0;
        if (n > 0 && m_hasTransmitQueue) m_outQueueEmpty = false;
        m_writeShort = *put < count;
        return n >= 0 || errno == EAGAIN ? 0 : errno;
    }
    int Queues(uint32_t* inQueue, uint32_t* outQueue) override {
        uint32_t in = 0;
        int out = 0;
        int error = TakeIn(&in);
        // Only this descriptor fills the transmit queue (the line is held exclusively): once seen
        // empty it stays empty until the next write, so a status query then costs one call, not two.
        if (error == 0 && !m_outQueueEmpty && m_hasTransmitQueue) {
            error = Ioctl(m_fd, TIOCOUTQ, &out);
            m_outQueueEmpty = error == 0 && out == 0;
        }
        *inQueue = in;
        *outQueue = static_cast<uint32_t>(out);
        // A hang-up already fails FIONREAD (EIO). An adapter that went away without one shows only
        // in its name: checked while nothing is queued, at most once a second.
        if (error == 0 && in == 0) error = CheckName();
        return error;
    }
    int Counters(win32posix::LineCounters* counters) override {
        struct serial_icounter_struct icount {};
        int error = Ioctl(m_fd, TIOCGICOUNT, &icount);
        counters->frame = static_cast<uint32_t>(icount.frame);
        counters->overrun = static_cast<uint32_t>(icount.overrun);
        counters->parity = static_cast<uint32_t>(icount.parity);
        counters->brk = static_cast<uint32_t>(icount.brk);
        counters->bufOverrun = static_cast<uint32_t>(icount.buf_overrun);
        return error;
    }
    int GetSettings(win32posix::LineSettings* settings) override {
        struct ::termios2 tio {};
        int error = Ioctl(m_fd, TCGETS2, &tio);
        if (error == 0) FromTermios(tio, settings);
        return error;
    }
    int SetSettings(const win32posix::LineSettings& settings) override;
    int ModemLines(unsigned* bits) override;
    int SetModemLines(unsigned bits, bool on) override {
        int lines =
            ((bits & win32posix::kLineDtr) ? TIOCM_DTR : 0) | ((bits & win32posix::kLineRts) ? TIOCM_RTS : 0);
        return Ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &lines);
    }
    int SetBreak(bool on) override { return Ioctl(m_fd, on ? TIOCSBRK : TIOCCBRK); }
    int Flush(bool receive, bool transmit) override {
        if (!receive && !transmit) return 0;
        if (receive) m_aheadBegin = m_aheadEnd = 0;
        return Ioctl(m_fd, TCFLSH, receive && transmit ? TCIOFLUSH : receive ? TCIFLUSH : TCOFLUSH);
    }
    int FlowOutput(bool stop) override { return Ioctl(m_fd, TCXONC, stop ? TCOOFF : TCOON); }
    int WaitReadable(int timeoutMs) override {
        pollfd wanted{m_fd, POLLIN, 0};
        g_syscalls.fetch_add(1, std::memory_order_relaxed);
        if (poll(&wanted, 1, timeoutMs) < 0 && errno != EINTR) return errno;
        return (wanted.revents & (POLLERR | POLLHUP | POLLNVAL)) ? EIO : 0;
    }
    int WaitReady(int timeoutMs) override {
        // Right after a read that took bytes the next ones of a stream are mostly there already (a
        // pty's 4 KiB at a time): look again before sleeping, as a plain read loop would. Once per
        // read that took bytes, so a caller that does not read cannot spin here.
        if (std::exchange(m_readTookBytes, false)) return 0;
        // Edge-triggered: it wakes for bytes that arrive (or room that frees) after the last wait,
        // not for bytes already queued, so a caller waiting for a whole reply sleeps between its bytes.
        const uint32_t wanted = EPOLLIN | EPOLLET | (m_writeShort ? uint32_t{EPOLLOUT} : 0u);
        if (wanted != m_watching) {
            epoll_event change{wanted, {}};
            g_syscalls.fetch_add(1, std::memory_order_relaxed);
            if (epoll_ctl(m_epoll, m_watching ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, m_fd, &change) != 0)
                return errno;
            m_watching = wanted;
        }
        epoll_event event{};
        g_syscalls.fetch_add(1, std::memory_order_relaxed);
        const int ready = epoll_wait(m_epoll, &event, 1, timeoutMs);
        if (ready < 0 && errno != EINTR) return errno;
        m_quietSinceWait = ready >= 0 && m_readFoundNone && !(event.events & (EPOLLIN | EPOLLERR | EPOLLHUP));
        return (event.events & (EPOLLERR | EPOLLHUP)) ? EIO : 0;
    }
    int SetLowLatency() override {
        struct serial_struct serial {};
        if (int error = Ioctl(m_fd, TIOCGSERIAL, &serial)) return error;
        if (serial.flags & ASYNC_LOW_LATENCY) return 0;
        m_flagsBefore = serial.flags;
        serial.flags |= ASYNC_LOW_LATENCY;
        int error = Ioctl(m_fd, TIOCSSERIAL, &serial);
        m_lowLatencySet = error == 0;
        return error;
    }

private:
    // The receive count, found by reading what is queued into m_ahead rather than by asking
    // (FIONREAD): the bytes counted are then already here, and the Read that follows takes them
    // without a system call of its own. A read that leaves room in m_ahead has emptied the driver's
    // queue, so the count is as exact as FIONREAD's; only a full one asks for the rest.
    int TakeIn(uint32_t* in) {
        if (m_aheadBegin == m_aheadEnd) m_aheadBegin = m_aheadEnd = 0;
        if (m_aheadBegin > 0 && m_aheadEnd == m_ahead.size()) {
            std::memmove(m_ahead.data(), m_ahead.data() + m_aheadBegin, m_aheadEnd - m_aheadBegin);
            m_aheadEnd -= m_aheadBegin;
            m_aheadBegin = 0;
        }
        // The queue was empty before the last wait and nothing came while it lasted: the first query
        // after it knows the count without a read (a writer waiting for room asks once a wait).
        const bool quiet = std::exchange(m_quietSinceWait, false);
        const size_t room = m_ahead.size() - m_aheadEnd;
        int rest = quiet ? -1 : 0; // the driver's count beyond m_ahead; -1 while known to be empty
        if (room > 0 && !quiet) {
            g_syscalls.fetch_add(1, std::memory_order_relaxed);
            ssize_t n = read(m_fd, m_ahead.data() + m_aheadEnd, room);
            if (n < 0 && errno != EAGAIN && errno != EINTR) return errno;
            m_aheadEnd += n > 0 ? static_cast<size_t>(n) : 0;
            m_readTookBytes = n > 0;
            m_readFoundNone = n < 0 && errno == EAGAIN;
            // With VMIN 1 an empty queue fails with EAGAIN; 0 is the end of file of a hung-up line,
            // or an empty queue on a line whose VMIN another process (the far end of a pty) set to
            // 0. FIONREAD tells them apart: it fails with EIO on the former.
            if (n < 0 || (n > 0 && static_cast<size_t>(n) < room)) rest = -1;
        }
        if (rest == 0) {
            if (int error = Ioctl(m_fd, FIONREAD, &rest)) return error;
        }
        *in = static_cast<uint32_t>(m_aheadEnd - m_aheadBegin) + static_cast<uint32_t>(rest > 0 ? rest : 0);
        return 0;
    }

    // The device number `path` leads to; 0 when it leads nowhere.
    static dev_t DeviceOf(const std::string& path) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 ? info.st_rdev : 0;
    }
    // ENODEV once the name (a COM link, a /dev/serial/by-id name) no longer leads to this device.
    int CheckName() {
        const int64_t now = CoarseNowMs();
        if (m_device == 0 || now - m_lastNameCheck < kNameCheckPeriodMs) return 0;
        m_lastNameCheck = now;
        g_syscalls.fetch_add(1, std::memory_order_relaxed);
        return DeviceOf(m_path) == m_device ? 0 : ENODEV;
    }

    // The driver's flags as SetLowLatency found them, put back as the line closes.
    void PutBackLatency() {
        struct serial_struct serial {};
        if (Ioctl(m_fd, TIOCGSERIAL, &serial) != 0) return;
        serial.flags = (serial.flags & ~ASYNC_LOW_LATENCY) | (m_flagsBefore & ASYNC_LOW_LATENCY);
        Ioctl(m_fd, TIOCSSERIAL, &serial);
    }

    int m_fd;
    std::string m_path; ///< the name it was opened by
    dev_t m_device;     ///< the device that name led to then
    int64_t m_lastNameCheck = CoarseNowMs();
    int m_epoll;                   ///< WaitReady's watch on m_fd; -1 when none could be made
    uint32_t m_watching = 0;       ///< the events m_epoll watches for; 0 before the first wait
    bool m_readTookBytes = false;  ///< the last read of the device took bytes; WaitReady looks again first
    bool m_readFoundNone = false;  ///< the last read of the device found its queue empty (EAGAIN)
    bool m_quietSinceWait = false; ///< that, and the last wait saw nothing come: TakeIn needs no read
    bool m_hasTransmitQueue;       ///< false for a pty: its transmit queue is always empty
    bool m_outQueueEmpty = false;  ///< TIOCOUTQ read 0 and nothing was written since
    bool m_writeShort = false;     ///< the last write could not hand over all it was given
    std::vector<uint8_t> m_ahead = std::vector<uint8_t>(kAheadBytes); ///< bytes a status query took in
    size_t m_aheadBegin = 0;                                          ///< the first not yet read
    size_t m_aheadEnd = 0;                                            ///< one past the last
    bool m_lowLatencySet = false; ///< SetLowLatency changed the driver's flags
    int m_flagsBefore = 0;        ///< the flags before that
};

int TtyLine::SetSettings(const win32posix::LineSettings& settings) {
    struct ::termios2 before {};
    if (int error = Ioctl(m_fd, TCGETS2, &before)) return error;
    struct ::termios2 tio = before;
    ToTermios(settings, &tio);
    if (int error = Ioctl(m_fd, TCSETS2, &tio)) return error;
    // Drivers clamp or round rates they cannot make without failing the call: read it back.
    struct ::termios2 after {};
    if (Ioctl(m_fd, TCGETS2, &after) == 0 &&
        !win32posix::RateWithinTolerance(settings.baud, after.c_ospeed)) {
        Ioctl(m_fd, TCSETS2, &before);
        return EINVAL;
    }
    return 0;
}

int TtyLine::ModemLines(unsigned* bits) {
    int lines = 0;
    int error = Ioctl(m_fd, TIOCMGET, &lines);
    static constexpr struct {
        int tiocm;
        unsigned bit;
    } kLines[] = {{TIOCM_DTR, win32posix::kLineDtr}, {TIOCM_RTS, win32posix::kLineRts},
                  {TIOCM_CTS, win32posix::kLineCts}, {TIOCM_DSR, win32posix::kLineDsr},
                  {TIOCM_RI, win32posix::kLineRing}, {TIOCM_CD, win32posix::kLineDcd}};
    *bits = 0;
    for (const auto& line : kLines) {
        if (lines & line.tiocm) *bits |= line.bit;
    }
    return error;
}

// Closes `fd` and returns `error`, so callers report the first failure.
int CloseWith(int fd, int error) {
    close(fd);
    return error;
}

int OpenExclusive(const std::string& path, int* fd) {
    g_syscalls.fetch_add(1, std::memory_order_relaxed);
    *fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (*fd < 0) return errno;
    struct ::termios2 tio {};
    if (int error = Ioctl(*fd, TCGETS2, &tio)) return CloseWith(*fd, error == EINVAL ? ENOTTY : error);
    // flock is the real guard: TIOCEXCL does not stop root, and CI runs as root.
    if (flock(*fd, LOCK_EX | LOCK_NB) != 0) return CloseWith(*fd, errno == EAGAIN ? EWOULDBLOCK : errno);
    Ioctl(*fd, TIOCEXCL);
    if (int error = MakeRawNoHangup(*fd)) return CloseWith(*fd, error);
    ClearCustomDivisor(*fd);
    return 0;
}

} // namespace

namespace win32posix {

bool RateWithinTolerance(uint32_t wanted, uint32_t got) {
    uint64_t diff = wanted > got ? wanted - got : got - wanted;
    return diff * 100 <= static_cast<uint64_t>(wanted) * 3;
}

SerialLine* OpenTtyLine(const std::string& path, int* error) {
    int fd = -1;
    *error = OpenExclusive(path, &fd);
    return *error == 0 ? new TtyLine(fd, path) : nullptr;
}

uint64_t TtySyscallCount() {
    return g_syscalls.load(std::memory_order_relaxed);
}

} // namespace win32posix
