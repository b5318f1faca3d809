// Heap allocations of the connection and of each poll tick's device part (the discard of stray
// bytes, then the tilt or the voltage exchange, and the sample the trend history records), against
// the board on COM<COM>. malloc, calloc and
// realloc of this executable count each call and hand it to the C library's own allocator; new
// comes through malloc.
//
//   bench_alloc COM TICKS      prints one JSON object
#include "BoardLink.h"
#include "TrendHistory.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
}

namespace {

std::atomic<long> g_allocations{0};

// Allocations made by `work`.
template <class Work> long Allocations(Work work) {
    long before = g_allocations.load();
    work();
    return g_allocations.load() - before;
}

struct Ticks {
    std::vector<long> allocations; ///< per tick
    int discarded = 0;             ///< stray bytes dropped over all ticks
    int answered = 0;              ///< ticks whose exchange got a whole reply
};

template <class Exchange> Ticks RunTicks(int count, Exchange exchange) {
    Ticks ticks;
    for (int i = 0; i < count; ++i) {
        ticks.allocations.push_back(Allocations([&] {
            ticks.discarded += DiscardStrayBytes();
            ticks.answered += exchange() ? 1 : 0;
        }));
    }
    return ticks;
}

std::string Json(const Ticks& ticks) {
    std::string list;
    for (long n : ticks.allocations) list += (list.empty() ? "" : ",") + std::to_string(n);
    return "{\"allocations\":[" + list + "],\"discarded\":" + std::to_string(ticks.discarded) +
           ",\"answered\":" + std::to_string(ticks.answered) + "}";
}

} // namespace

extern "C" void* malloc(size_t size) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* block, size_t size) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_alloc COM TICKS\n");
        return 2;
    }
    const int com = std::atoi(argv[1]), count = std::atoi(argv[2]);
    int result = -1;
    long connection = Allocations([&] { result = ConnectBoard(com); });
    if (result != CONNECT_OK) {
        std::fprintf(stderr, "bench_alloc: no board on COM%d (%s)\n", com, ConnectMessage(result));
        return 1;
    }
    TiltFrame frame{};
    ExchangeTilt(&frame); // the first tick after the connection is not a steady one
    TrendHistory history; // its rings are taken once, as when the program starts
    long tMs = 0;
    auto record = [&](PollMode mode, bool valid) {
        TrendSample sample{tMs += 100, valid, false, frame, {}};
        std::copy(std::begin(g_fVoltage), std::end(g_fVoltage), sample.volts);
        history.Record(mode, sample);
        return valid;
    };
    Ticks tilt = RunTicks(count, [&] { return record(PollMode::Tilt, ExchangeTilt(&frame)); });
    Ticks volts = RunTicks(count, [&] { return record(PollMode::Dvm, ExchangeVoltages()); });
    std::printf("{\"connection\":%ld,\"tilt\":%s,\"dvm\":%s}\n", connection, Json(tilt).c_str(),
                Json(volts).c_str());
    DisconnectBoard();
    return 0;
}
