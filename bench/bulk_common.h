// The bulk transfer of the throughput figure, shared by every contender: the client sends `bytes`
// over the pty, the far end reads them all and sends `bytes` back, and the client times each round
// from its first write to its last read. The bytes follow one pattern that covers every value (the
// flow-control and line-end characters included), so a line that is not raw is caught, not timed.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace bulk {

constexpr size_t kDefaultBytes = size_t{1} << 20;
/// No single read or write of a round waits longer than this.
constexpr int kLimitMs = 10000;

/// Byte `k` of a transfer (bench/bulk_pyserial.py computes the same).
inline uint8_t PatternByte(size_t k) {
    return static_cast<uint8_t>(k * 31 + (k >> 8));
}

/// The first `count` bytes of the pattern.
inline std::vector<uint8_t> Pattern(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t k = 0; k < count; ++k) bytes[k] = PatternByte(k);
    return bytes;
}

/// The transfer's size from argument `arg` (a byte count), kDefaultBytes when absent.
inline size_t BytesArg(int argc, char** argv, int arg) {
    return argc > arg ? static_cast<size_t>(std::strtoull(argv[arg], nullptr, 10)) : kDefaultBytes;
}

/// Runs `rounds` rounds of the client's side: `send(data, n)` must hand over all n bytes and
/// `receive(buffer, n)` must fill all n, each returning false on failure or time-out. Prints each
/// round's wall time in milliseconds on a line of its own. Returns the exit status: 0, or 1 after a
/// failure or a reply that differs from the pattern (both reported on stderr).
template <class Send, class Receive> int RunClient(int rounds, size_t bytes, Send send, Receive receive) {
    const std::vector<uint8_t> pattern = Pattern(bytes);
    std::vector<uint8_t> back(bytes + 1); // some clients store a terminator after what they read
    for (int round = 0; round < rounds; ++round) {
        std::fill(back.begin(), back.end(), 0);
        auto start = std::chrono::steady_clock::now();
        if (!send(pattern.data(), bytes) || !receive(back.data(), bytes)) {
            std::fprintf(stderr, "round %d: transfer failed or timed out\n", round);
            return 1;
        }
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        if (std::memcmp(back.data(), pattern.data(), bytes) != 0) {
            std::fprintf(stderr, "round %d: the bytes that came back differ from those sent\n", round);
            return 1;
        }
        std::printf("%.3f\n", took.count());
        std::fflush(stdout);
    }
    return 0;
}

} // namespace bulk
