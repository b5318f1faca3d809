// WinCommPort::DumpState: six lines describing the held configuration and the queues.
#include "WinCommPort.h"

namespace {

// wsprintfA never writes more than 1024 bytes, so no count of any size overruns this buffer.
constexpr int kLineBufferSize = 1024;

// A DCB character as its 8-bit code: a plain char would sign-extend 0x80..0xff to eight digits.
unsigned Code(char c) {
    return static_cast<BYTE>(c);
}

} // namespace

void WinCommPort::DumpState(DumpLineCallback callback) {
    char line[kLineBufferSize];
    const DCB dcb = m_dcb ? *m_dcb : DCB{};
    wsprintfA(line, "Port type: MS Win32  BaudRate: %-6u  ByteSize: %1d  Parity: %1d",
              static_cast<unsigned>(dcb.BaudRate), dcb.ByteSize, dcb.Parity);
    callback(line);
    wsprintfA(line, "StopBits: %1d  fBinary: %1d  fRtsControl: %1d", dcb.StopBits,
              static_cast<int>(dcb.fBinary), static_cast<int>(dcb.fRtsControl));
    callback(line);
    wsprintfA(line, "Parity: %1d  OutCtsFlow: %1d  OutDsrFlow: %1d  DtrControl: %1d  OutX: %1d  InX: %1d",
              static_cast<int>(dcb.fParity), static_cast<int>(dcb.fOutxCtsFlow),
              static_cast<int>(dcb.fOutxDsrFlow), static_cast<int>(dcb.fDtrControl),
              static_cast<int>(dcb.fOutX), static_cast<int>(dcb.fInX));
    callback(line);
    wsprintfA(line, "Null: %1d  XonChar: %02x  XoffChar: %02x", static_cast<int>(dcb.fNull),
              Code(dcb.XonChar), Code(dcb.XoffChar));
    callback(line);
    wsprintfA(line, "XonLim: %-5u XoffLim: %-5u EofChr: %02x  EvtChr: %02x",
              static_cast<unsigned>(dcb.XonLim), static_cast<unsigned>(dcb.XoffLim), Code(dcb.EofChar),
              Code(dcb.EvtChar));
    callback(line);
    PortStatus status{};
    GetStatus(&status, 7);
    wsprintfA(line, "RX sz/ct: %5d/%-5d  TX sz/ct: %5d/%-5d  BLOCK SENT:%d  BLOCK RECEIVED:%d", status.rxSize,
              status.rxCount, status.txSize, status.txCount, static_cast<int>(status.blockSent),
              static_cast<int>(status.blockReceived));
    callback(line);
}
