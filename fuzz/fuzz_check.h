// What the fuzz targets share: a check that reports the broken property and aborts (libFuzzer then
// keeps the input), and a reader that takes fixed-size values off the front of the input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);            \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

/// Takes values off the front of a fuzz input; once it runs out, the rest read as zero bytes.
struct FuzzInput {
    const uint8_t* data;
    size_t size;

    /// Fills the `count` bytes at `out` from the input.
    void Take(void* out, size_t count) {
        if (count == 0) return; // `out` may be null then (an empty vector's data())
        size_t n = count < size ? count : size;
        std::memset(out, 0, count);
        if (n) std::memcpy(out, data, n);
        data += n;
        size -= n;
    }
    template <typename T> T Take() {
        T value;
        Take(&value, sizeof value);
        return value;
    }
};
