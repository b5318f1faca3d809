// What the fuzz targets share: a check that reports the broken property and aborts (libFuzzer then
// keeps the input), a reader that takes fixed-size values off the front of the input, and a run of
// a target's fixed rows once, with its first input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

inline void FuzzCheck(bool held, const char* what, const char* file, int line) {
    if (held) return;
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    std::abort();
}
#define FUZZ_CHECK(condition) FuzzCheck(static_cast<bool>(condition), #condition, __FILE__, __LINE__)

/// Runs `rows()` the first time it is reached, once per process.
#define FUZZ_ROWS_ONCE(rows) [[maybe_unused]] static const bool rowsChecked = (rows(), true)

/// Takes values off the front of a fuzz input; once it runs out, the rest read as zero bytes.
struct FuzzInput {
    const uint8_t* data;
    size_t size;

    /// Fills the `count` bytes at `out` from the input (`out` may be null for 0: an empty vector's data()).
    void Take(void* out, size_t count) {
        const size_t n = count < size ? count : size;
        if (count) std::memset(out, 0, count);
        if (n) std::memcpy(out, data, n), data += n, size -= n;
    }
    template <typename T> T Take() {
        T value;
        return Take(&value, sizeof value), value;
    }
    /// The rest of the input as text.
    std::string Rest() const { return std::string(reinterpret_cast<const char*>(data), size); }
};
