// DumpState with any held configuration, queue sizes and queue counts: six lines, each exactly
// what printf makes of its format, lines 1 to 5 within 71 characters, and nothing written past a
// line (the sanitizers watch the line buffer).
#include "fuzz_check.h"

#include <WinCommPort.h>
#include <fake_serial_posix.h>

#include <string>
#include <vector>

namespace {

constexpr int kIndex = 255; // COM256

// A line that reports whatever queue counts the input asks for.
struct CountingLine : win32posix::FakeSerialLine {
    uint32_t inCount = 0, outCount = 0;
    int Queues(uint32_t* in, uint32_t* out) override {
        *in = inCount;
        *out = outCount;
        return 0;
    }
};

// A port whose held copy and queue sizes the input sets directly.
struct OpenPort : WinCommPort {
    OpenPort() : WinCommPort(kIndex, 4096, 2048, 0) {}
    void Load(FuzzInput& in) {
        in.Take(m_dcb, sizeof(DCB));
        m_rxQueueSize = in.Take<uint32_t>();
        m_txQueueSize = in.Take<uint32_t>();
    }
    const DCB& Held() const { return *m_dcb; }
    PortStatus Status() {
        PortStatus status{};
        GetStatus(&status, 7);
        return status;
    }
};

std::vector<std::string> g_lines;

void Collect(const char* line) {
    g_lines.emplace_back(line);
}

template <typename... Args> std::string Format(const char* format, Args... args) {
    char line[1024];
    std::snprintf(line, sizeof line, format, args...);
    return line;
}

std::vector<std::string> Expected(const DCB& d, const PortStatus& s) {
    auto code = [](char c) { return static_cast<unsigned>(static_cast<uint8_t>(c)); };
    return {
        Format("Port type: MS Win32  BaudRate: %-6u  ByteSize: %1d  Parity: %1d", d.BaudRate, d.ByteSize,
               d.Parity),
        Format("StopBits: %1d  fBinary: %1d  fRtsControl: %1d", d.StopBits, int(d.fBinary),
               int(d.fRtsControl)),
        Format("Parity: %1d  OutCtsFlow: %1d  OutDsrFlow: %1d  DtrControl: %1d  OutX: %1d  InX: %1d",
               int(d.fParity), int(d.fOutxCtsFlow), int(d.fOutxDsrFlow), int(d.fDtrControl), int(d.fOutX),
               int(d.fInX)),
        Format("Null: %1d  XonChar: %02x  XoffChar: %02x", int(d.fNull), code(d.XonChar), code(d.XoffChar)),
        Format("XonLim: %-5u XoffLim: %-5u EofChr: %02x  EvtChr: %02x", unsigned(d.XonLim),
               unsigned(d.XoffLim), code(d.EofChar), code(d.EvtChar)),
        Format("RX sz/ct: %5d/%-5d  TX sz/ct: %5d/%-5d  BLOCK SENT:%d  BLOCK RECEIVED:%d", s.rxSize,
               s.rxCount, s.txSize, s.txCount, int(s.blockSent), int(s.blockReceived))};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CountingLine line;
    static bool installed = win32posix::InstallSerialLine(kIndex + 1, &line);
    FUZZ_CHECK(installed);
    FuzzInput in{data, size};
    OpenPort port;
    FUZZ_CHECK(port.PeekError() == 0);
    port.Load(in);
    line.inCount = in.Take<uint32_t>();
    line.outCount = in.Take<uint32_t>();
    line.modemInputs = in.Take<uint8_t>();
    g_lines.clear();
    port.DumpState(Collect);
    FUZZ_CHECK(g_lines == Expected(port.Held(), port.Status()));
    for (size_t i = 0; i < 5; ++i) FUZZ_CHECK(g_lines[i].size() <= 71);
    return 0;
}
