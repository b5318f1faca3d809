// DumpState with any held configuration, queue sizes and queue counts: six lines, lines 1 to 5
// within 71 characters, and nothing written past a line (the sanitizers watch the line buffer). What
// the lines say is pinned by the port's tests (WinCommPortFake.DumpState...).
#include "fuzz_check.h"

#include <WinCommPort.h>
#include <fake_serial_posix.h>

#include <vector>

namespace {

constexpr int kIndex = 255; // COM256

// A line that reports whatever queue counts the input asks for.
struct CountingLine : win32posix::FakeSerialLine {
    uint32_t inCount = 0, outCount = 0;
    int Queues(uint32_t* in, uint32_t* out) override { return *in = inCount, *out = outCount, 0; }
};

// A port whose held copy and queue sizes the input sets directly.
struct OpenPort : WinCommPort {
    OpenPort() : WinCommPort(kIndex, 4096, 2048, 0) {}
    void Load(FuzzInput& in) {
        in.Take(m_dcb, sizeof(DCB));
        m_rxQueueSize = in.Take<uint32_t>(), m_txQueueSize = in.Take<uint32_t>();
    }
};

std::vector<std::string> g_lines;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CountingLine line;
    static const bool installed = win32posix::InstallSerialLine(kIndex + 1, &line);
    FuzzInput in{data, size};
    OpenPort port;
    FUZZ_CHECK(installed && port.PeekError() == 0);
    port.Load(in);
    line.inCount = in.Take<uint32_t>(), line.outCount = in.Take<uint32_t>(),
    line.modemInputs = in.Take<uint8_t>();
    g_lines.clear();
    port.DumpState([](const char* text) { g_lines.emplace_back(text); });
    FUZZ_CHECK(g_lines.size() == 6);
    for (size_t i = 0; i < 5; ++i) FUZZ_CHECK(g_lines[i].size() <= 71);
    return 0;
}
