// WinCommPort over a pseudo-terminal: system calls per status query, read and write, and bulk
// throughput against raw read/write on the same pty in the same run.
//
//   bench_port                      all figures
//   bench_port --benchmark_filter=Bulk
//
// "syscalls" counts the calls the stand-in's terminal line made per operation. Compare the
// bytes_per_second of BM_PortBulkWrite with BM_RawBulkWrite (and Read with Read) for the ratio.
#include "WinCommPort.h"
#include "serial_line_posix.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr int kIndex = 30;        // COM31, mapped in a private device directory
constexpr uint32_t kChunk = 2048; // the application's transmit queue size

// A pty pair mapped as COM31 and a WinCommPort on it, as the application builds it.
class PtyPort {
public:
    PtyPort() {
        char pattern[] = "/tmp/korvane-bench-XXXXXX";
        m_dir = mkdtemp(pattern);
        std::filesystem::create_directories(m_dir + "/korvane/devices");
        setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        char name[128] = {};
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
            ptsname_r(m_master, name, sizeof name) != 0) {
            std::abort();
        }
        m_slave = name;
        std::filesystem::create_symlink(m_slave, m_dir + "/korvane/devices/COM" + std::to_string(kIndex + 1));
        m_port = new WinCommPort(kIndex, 4096, 2048, 0);
    }
    ~PtyPort() {
        delete m_port;
        close(m_master);
        std::filesystem::remove_all(m_dir);
    }
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Reads everything the master has waiting; returns the count.
    size_t DrainMaster() {
        char sink[65536];
        size_t total = 0;
        ssize_t n;
        while ((n = read(m_master, sink, sizeof sink)) > 0) total += static_cast<size_t>(n);
        return total;
    }

    WinCommPort* m_port = nullptr;
    int m_master = -1;
    std::string m_slave;

private:
    std::string m_dir;
};

// Sets the per-iteration system-call count from the stand-in's counter.
void CountSyscalls(benchmark::State& state, uint64_t before) {
    state.counters["syscalls"] = benchmark::Counter(
        static_cast<double>(win32posix::TtySyscallCount() - before), benchmark::Counter::kAvgIterations);
}

void BM_GetStatus(benchmark::State& state) {
    PtyPort pty;
    PortStatus status{};
    pty.m_port->GetStatus(&status, 7); // the first query finds out the pty keeps no error counters
    uint64_t before = win32posix::TtySyscallCount();
    for (auto _ : state) {
        pty.m_port->GetStatus(&status, 1);
        benchmark::DoNotOptimize(status);
    }
    CountSyscalls(state, before);
}
BENCHMARK(BM_GetStatus);

void BM_ReadNothingQueued(benchmark::State& state) {
    PtyPort pty;
    char buffer[16];
    uint64_t before = win32posix::TtySyscallCount();
    for (auto _ : state) benchmark::DoNotOptimize(pty.m_port->Read(buffer, sizeof buffer));
    CountSyscalls(state, before);
}
BENCHMARK(BM_ReadNothingQueued);

void BM_ReadThreeBytes(benchmark::State& state) {
    PtyPort pty;
    char buffer[3];
    uint64_t calls = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (write(pty.m_master, "abc", 3) != 3) state.SkipWithError("master write failed");
        PortStatus status{};
        do pty.m_port->GetStatus(&status, 1);
        while (status.rxCount < 3);
        uint64_t before = win32posix::TtySyscallCount();
        state.ResumeTiming();
        benchmark::DoNotOptimize(pty.m_port->Read(buffer, sizeof buffer));
        calls += win32posix::TtySyscallCount() - before;
    }
    state.counters["syscalls"] =
        benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ReadThreeBytes);

void BM_WriteOneByte(benchmark::State& state) {
    PtyPort pty;
    uint64_t before = win32posix::TtySyscallCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(pty.m_port->WriteByte('z'));
        if ((state.iterations() & 1023) == 0) pty.DrainMaster();
    }
    CountSyscalls(state, before);
}
BENCHMARK(BM_WriteOneByte);

// The poll's pattern: a status query (the discard's count), then the one-byte command. Counts only
// the write's calls.
void BM_WriteAfterStatus(benchmark::State& state) {
    PtyPort pty;
    PortStatus status{};
    uint64_t calls = 0;
    for (auto _ : state) {
        state.PauseTiming();
        pty.m_port->GetStatus(&status, 1);
        if ((state.iterations() & 1023) == 0) pty.DrainMaster();
        uint64_t before = win32posix::TtySyscallCount();
        state.ResumeTiming();
        benchmark::DoNotOptimize(pty.m_port->WriteByte('z'));
        calls += win32posix::TtySyscallCount() - before;
    }
    state.counters["syscalls"] =
        benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_WriteAfterStatus);

// Bulk: each iteration moves one 2048-byte chunk through the pty, in the same pattern for the
// port and for plain read/write on its own descriptor, so only the port's cost differs.
void BM_PortBulkWrite(benchmark::State& state) {
    PtyPort pty;
    std::string chunk(kChunk, 'p');
    for (auto _ : state) {
        uint32_t put = pty.m_port->Write(chunk.data(), kChunk);
        if (pty.DrainMaster() != put) state.SkipWithError("lost bytes");
        state.SetBytesProcessed(state.bytes_processed() + put);
    }
}
BENCHMARK(BM_PortBulkWrite)->UseRealTime();

void BM_RawBulkWrite(benchmark::State& state) {
    PtyPort pty;
    delete pty.m_port; // frees the device so the raw descriptor can open it
    pty.m_port = nullptr;
    int fd = open(pty.m_slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    std::string chunk(kChunk, 'r');
    for (auto _ : state) {
        ssize_t put = write(fd, chunk.data(), kChunk);
        if (put < 0 || pty.DrainMaster() != static_cast<size_t>(put)) state.SkipWithError("lost bytes");
        state.SetBytesProcessed(state.bytes_processed() + put);
    }
    close(fd);
}
BENCHMARK(BM_RawBulkWrite)->UseRealTime();

void BM_PortBulkRead(benchmark::State& state) {
    PtyPort pty;
    std::string chunk(kChunk, 'q');
    char buffer[kChunk];
    for (auto _ : state) {
        if (write(pty.m_master, chunk.data(), kChunk) != kChunk) state.SkipWithError("master write failed");
        uint32_t got = 0;
        while (got < kChunk) got += pty.m_port->Read(buffer + got, kChunk - got);
        state.SetBytesProcessed(state.bytes_processed() + got);
    }
}
BENCHMARK(BM_PortBulkRead)->UseRealTime();

void BM_RawBulkRead(benchmark::State& state) {
    PtyPort pty;
    delete pty.m_port;
    pty.m_port = nullptr;
    int fd = open(pty.m_slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    std::string chunk(kChunk, 'q');
    char buffer[kChunk];
    for (auto _ : state) {
        if (write(pty.m_master, chunk.data(), kChunk) != kChunk) state.SkipWithError("master write failed");
        ssize_t got = 0;
        while (got < static_cast<ssize_t>(kChunk)) {
            ssize_t n = read(fd, buffer + got, kChunk - static_cast<size_t>(got));
            got += n > 0 ? n : 0;
        }
        state.SetBytesProcessed(state.bytes_processed() + got);
    }
    close(fd);
}
BENCHMARK(BM_RawBulkRead)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
