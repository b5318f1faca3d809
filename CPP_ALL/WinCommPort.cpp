// WinCommPort: the Windows serial port. Only Windows API names appear here, so the file builds
// unchanged against the real headers and against the win32 layer's POSIX stand-in.
#include "WinCommPort.h"

#include <cstring>

namespace {

// The platform errors that TranslateLastError knows: the legacy communication error codes, and
// what the system says about a device that went away under an open handle (a pulled USB adapter
// fails ClearCommError, ReadFile and WriteFile with one of these, depending on its driver; Wine
// says ERROR_NOT_READY for a terminal that hung up).
struct PlatformError {
    LONG error;
    int status;
};
constexpr PlatformError kPlatformErrors[] = {
    {IE_BADID, COMM_DEVICE_ERROR},
    {IE_OPEN, COMM_IN_USE},
    {IE_NOPEN, COMM_DEVICE_ERROR},
    {IE_MEMORY, COMM_NO_MEMORY},
    {IE_DEFAULT, COMM_BAD_OUTPUT_FLOW},
    {IE_HARDWARE, COMM_DEVICE_ERROR},
    {IE_BYTESIZE, COMM_BAD_DATA_BITS},
    {IE_BAUDRATE, COMM_BAD_BAUD},
    {ERROR_NOT_READY, COMM_DEVICE_ERROR},
    {ERROR_BAD_COMMAND, COMM_DEVICE_ERROR},
    {ERROR_GEN_FAILURE, COMM_DEVICE_ERROR},
    {ERROR_OPERATION_ABORTED, COMM_DEVICE_ERROR},
    {ERROR_DEVICE_NOT_CONNECTED, COMM_DEVICE_ERROR},
    {ERROR_DEVICE_REMOVED, COMM_DEVICE_ERROR},
};

constexpr uint32_t kQueueSizeMask = 0xFFFF;

// Flow values are compared unsigned, so a negative one is simply one more value outside the set.
// Each returns 0, or the code to record for a value it refuses.
int EditInputFlow(DCB* dcb, int flow) {
    switch (static_cast<unsigned>(flow)) {
    case FLOW_NONE:
        return 0;
    case FLOW_XON_XOFF:
        dcb->fInX = 1;
        return 0;
    case LINE_DTR:
        dcb->fDtrControl = DTR_CONTROL_HANDSHAKE;
        return 0;
    case LINE_RTS:
        dcb->fRtsControl = RTS_CONTROL_HANDSHAKE;
        return 0;
    case LINE_DSR:
        return COMM_NOT_SUPPORTED;
    default:
        return COMM_BAD_INPUT_FLOW;
    }
}

int EditOutputFlow(DCB* dcb, int flow) {
    switch (static_cast<unsigned>(flow)) {
    case FLOW_NONE:
        return 0;
    case FLOW_XON_XOFF:
        dcb->fOutX = 1;
        return 0;
    case LINE_CTS:
        dcb->fOutxCtsFlow = 1;
        return 0;
    case LINE_DSR:
        dcb->fOutxDsrFlow = 1;
        return 0;
    case LINE_RLSD:
        return COMM_NOT_SUPPORTED;
    default:
        return COMM_BAD_OUTPUT_FLOW;
    }
}

} // namespace

WinCommPort::WinCommPort(int index, int rxSize, int txSize, int noOpen)
    : m_dcb(nullptr), m_readOverlapped(nullptr), m_writeOverlapped(nullptr), m_savedTimeouts(nullptr),
      m_handle(nullptr), m_inputFlow(0), m_outputFlow(0), m_rts(0), m_dtr(0), m_break(0), m_lineErrors(0),
      m_savedEventMask(0), m_txQueueSize(0), m_rxQueueSize(0) {
    if (noOpen) return;
    if (!AllocateRecords()) {
        m_lastError = COMM_NO_MEMORY;
        return;
    }
    m_txQueueSize = static_cast<DWORD>(txSize) & kQueueSizeMask;
    m_rxQueueSize = static_cast<DWORD>(rxSize) & kQueueSizeMask;
    m_index = index;
    m_lastError = 0;
    m_inputFlow = m_outputFlow = 0;
    m_rts = m_dtr = 1;
    m_break = 0;
    Open(index);
    // Whatever Open recorded: without a device the two line calls fail, which is harmless.
    LineControl(LINE_DTR, 1);
    LineControl(LINE_RTS, 1);
}

WinCommPort::~WinCommPort() {
    // A port that did not raise the count never opened the device; after a direct Close the
    // handle is gone and must not be closed twice.
    if (m_raisedOpenCount && m_handle && g_portOpenCount[m_index] == 1) Close();
    FreeRecords();
}

bool WinCommPort::AllocateRecords() {
    m_dcb = static_cast<DCB*>(MemAllocZeroed(sizeof(DCB)));
    m_readOverlapped = static_cast<OVERLAPPED*>(MemAllocZeroed(sizeof(OVERLAPPED)));
    m_writeOverlapped = static_cast<OVERLAPPED*>(MemAllocZeroed(sizeof(OVERLAPPED) * kWriteRecords));
    m_savedTimeouts = static_cast<COMMTIMEOUTS*>(MemAllocZeroed(sizeof(COMMTIMEOUTS)));
    if (m_dcb && m_readOverlapped && m_writeOverlapped && m_savedTimeouts) return true;
    FreeRecords();
    return false;
}

void WinCommPort::FreeRecords() {
    MemFree(m_readOverlapped);
    MemFree(m_writeOverlapped);
    MemFree(m_savedTimeouts);
    MemFree(m_dcb);
    m_readOverlapped = m_writeOverlapped = nullptr;
    m_savedTimeouts = nullptr;
    m_dcb = nullptr;
}

bool WinCommPort::HeldCopyMissing() {
    // Only a port built with the no-open flag (or out of memory) lacks its records.
    if (m_dcb) return false;
    m_lastError = COMM_DEVICE_ERROR;
    return true;
}

void WinCommPort::Open(int) {
    if (HeldCopyMissing()) return;
    // An index without a slot in the table is refused before anything is touched.
    if (!PortIndexValid(m_index) || g_portOpenCount[m_index] != 0) {
        m_lastError = COMM_IN_USE;
        return;
    }
    if (OpenDevice() != 0) return;
    ++g_portOpenCount[m_index];
    m_raisedOpenCount = true;
    SetupComm(m_handle, m_rxQueueSize, m_txQueueSize);
    GetCommMask(m_handle, &m_savedEventMask);
    SetCommMask(m_handle, 0);
    GetCommState(m_handle, m_dcb);
    ConfigureHeldCopy();
    GetCommTimeouts(m_handle, m_savedTimeouts);
    COMMTIMEOUTS immediate = {MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(m_handle, &immediate);
    if (!SetCommState(m_handle, m_dcb)) m_lastError = TranslateLastError();
}

void WinCommPort::ConfigureHeldCopy() {
    m_dcb->BaudRate = 19200;
    m_dcb->ByteSize = 8;
    m_dcb->Parity = NOPARITY;
    m_dcb->StopBits = ONESTOPBIT;
    m_dcb->fOutxCtsFlow = 0;
    m_dcb->fOutxDsrFlow = 0;
    m_dcb->fDtrControl = DTR_CONTROL_ENABLE;
    m_dcb->fRtsControl = RTS_CONTROL_DISABLE;
    m_dcb->fBinary = 1;
    m_dcb->fNull = 0;
    m_dcb->EofChar = 0;
    m_dcb->EvtChar = 0;
    m_dcb->XonChar = 0x11;
    m_dcb->XoffChar = 0x13;
    m_dcb->XonLim = static_cast<WORD>(m_rxQueueSize / 4);
    m_dcb->XoffLim = 128;
}

int WinCommPort::OpenDevice() {
    char name[20];
    wsprintfA(name, "\\\\.\\COM%d", m_index + 1);
    HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        m_lastError = TranslateLastError();
        return m_lastError;
    }
    m_handle = handle;
    return 0;
}

int WinCommPort::Close() {
    Purge(0, 0);
    Purge(1, 0);
    EscapeCommFunction(m_handle, CLRDTR);
    EscapeCommFunction(m_handle, CLRRTS);
    if (!CloseHandle(m_handle)) {
        m_lastError = COMM_CLOSE_FAILED;
        return COMM_CLOSE_FAILED;
    }
    m_handle = nullptr;
    return 0;
}

DWORD WinCommPort::GatherErrors(COMSTAT* status) {
    DWORD errors = 0;
    std::memset(status, 0, sizeof *status);
    // A status query fails only when the device itself does (it went away under the handle): the
    // owner sees that as the recorded error, COMM_DEVICE_ERROR for the removal errors.
    if (m_handle && !ClearCommError(m_handle, &errors, status)) m_lastError = TranslateLastError();
    m_lineErrors |= errors;
    return errors;
}

void WinCommPort::PollLineStatus() {
    COMSTAT status;
    GatherErrors(&status);
}

void WinCommPort::GetStatus(PortStatus* record, int) {
    COMSTAT status;
    GatherErrors(&status);
    record->rxFlag = 1;
    record->rxCount = static_cast<int32_t>(status.cbInQue);
    record->rxSize = static_cast<int32_t>(m_rxQueueSize);
    record->txFlag = 1;
    record->txCount = static_cast<int32_t>(status.cbOutQue);
    record->txSize = static_cast<int32_t>(m_txQueueSize);
    record->blockReceived = (status.fCtsHold || status.fDsrHold || status.fXoffHold) ? 1 : 0;
    record->blockSent = status.fXoffSent ? 1 : 0;
    record->otherFlags = 0;
}

int WinCommPort::ApplyHeldCopy() {
    if (SetCommState(m_handle, m_dcb)) return 0;
    m_lastError = TranslateLastError();
    return m_lastError;
}

int WinCommPort::SetQueueSizes(int rxSize, int xoffLimit, int txSize) {
    if (HeldCopyMissing()) return m_lastError;
    Purge(0, 0);
    Purge(1, 0);
    if (rxSize != 0) m_rxQueueSize = static_cast<DWORD>(rxSize) & kQueueSizeMask;
    if (txSize != 0) m_txQueueSize = static_cast<DWORD>(txSize) & kQueueSizeMask;
    m_dcb->XonLim = static_cast<WORD>(m_rxQueueSize / 4);
    if (xoffLimit != 0) m_dcb->XoffLim = static_cast<WORD>(xoffLimit);
    SetupComm(m_handle, m_rxQueueSize, m_txQueueSize);
    Purge(0, 0);
    Purge(1, 0);
    return ApplyHeldCopy();
}

int WinCommPort::SetFlowControl(int inputFlow, int outputFlow) {
    if (HeldCopyMissing()) return m_lastError;
    // The edits go to a copy that becomes the held one only once the device took it: a refused
    // pair leaves nothing behind for the next SetSettings to apply unnoticed.
    DCB edited = *m_dcb;
    edited.fInX = 0;
    edited.fOutX = 0;
    if (edited.fRtsControl == RTS_CONTROL_HANDSHAKE) edited.fRtsControl = RTS_CONTROL_ENABLE;
    if (edited.fDtrControl == DTR_CONTROL_HANDSHAKE) edited.fDtrControl = DTR_CONTROL_ENABLE;
    edited.fOutxCtsFlow = 0;
    edited.fOutxDsrFlow = 0;
    int refused = EditInputFlow(&edited, inputFlow);
    if (refused == 0) refused = EditOutputFlow(&edited, outputFlow);
    if (refused != 0) {
        m_lastError = refused;
        return refused == COMM_BAD_INPUT_FLOW ? COMM_FAILED : refused;
    }
    if (!SetCommState(m_handle, &edited)) return m_lastError = TranslateLastError();
    *m_dcb = edited;
    m_inputFlow = inputFlow;
    m_outputFlow = outputFlow;
    return 0;
}

int WinCommPort::GetFlowControl(int* inputFlow, int* outputFlow) {
    *inputFlow = m_inputFlow;
    *outputFlow = m_outputFlow;
    return 0;
}

int WinCommPort::Break(int state) {
    if (state < 0) return m_break;
    BOOL done = state == 1 ? SetCommBreak(m_handle) : ClearCommBreak(m_handle);
    if (!done) return m_lastError = COMM_BREAK_FAILED;
    // The break is on only for 1; any other value turned it off, and the state says so.
    m_break = state == 1 ? 1 : 0;
    return m_break;
}

int WinCommPort::LineControl(int lineId, int value) {
    if (lineId == LINE_BREAK) return Break(value);
    if (!m_dcb && (lineId == LINE_DTR || lineId == LINE_RTS)) value = -1;
    if (lineId == LINE_DTR && value != -1) {
        m_dtr = value != 0;
        m_dcb->fDtrControl = m_dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        EscapeCommFunction(m_handle, m_dtr ? SETDTR : CLRDTR);
    } else if (lineId == LINE_RTS && value != -1) {
        m_rts = value != 0;
        m_dcb->fRtsControl = m_rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        EscapeCommFunction(m_handle, m_rts ? SETRTS : CLRRTS);
    }
    switch (lineId) {
    case LINE_DTR:
        return QueryModemLine(1);
    case LINE_RTS:
        return QueryModemLine(2);
    case LINE_CTS:
        return QueryModemLine(MS_CTS_ON);
    case LINE_DSR:
        return QueryModemLine(MS_DSR_ON);
    case LINE_RING:
        return QueryModemLine(MS_RING_ON);
    case LINE_RLSD:
        return QueryModemLine(MS_RLSD_ON);
    case 17:
    case 18:
    case 19:
    case 20:
        return 0;
    case LINE_OVERRUN:
        return (m_lineErrors & CE_OVERRUN) ? 1 : 0;
    case LINE_PARITY_ERROR:
        return (m_lineErrors & CE_RXPARITY) ? 1 : 0;
    case LINE_FRAMING_ERROR:
        return (m_lineErrors & CE_FRAME) ? 1 : 0;
    case LINE_BREAK_DETECT:
        return (m_lineErrors & CE_BREAK) ? 1 : 0;
    case LINE_RX_OVERFLOW:
        return (m_lineErrors & CE_RXOVER) ? 1 : 0;
    default:
        return LINE_UNKNOWN;
    }
}

int WinCommPort::QueryModemLine(int mask) {
    if (mask == 1) return m_dtr;
    if (mask == 2) return m_rts;
    DWORD status = 0;
    GetCommModemStatus(m_handle, &status);
    return (status & static_cast<DWORD>(mask)) ? 1 : 0;
}

int WinCommPort::SetSettings(int baud, char parity, int dataBits, int stopBits) {
    if (HeldCopyMissing()) return m_lastError;
    int parityValue = ParityValueOf(parity);
    if (parityValue < 0) return m_lastError = COMM_BAD_PARITY;
    m_dcb->Parity = static_cast<BYTE>(parityValue);
    m_dcb->BaudRate = static_cast<DWORD>(baud);
    if (dataBits < 4 || dataBits > 8) return m_lastError = COMM_BAD_DATA_BITS;
    m_dcb->ByteSize = static_cast<BYTE>(dataBits);
    if (stopBits < 1 || stopBits > 2) return m_lastError = COMM_BAD_STOP_BITS;
    // A 5-bit word always gets one and a half stop bits, as UARTs do.
    m_dcb->StopBits = dataBits == 5 ? ONE5STOPBITS : stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    return ApplyHeldCopy();
}

void WinCommPort::GetSettings(int* baud, char* parity, int* dataBits, int* stopBits) {
    const DCB held = m_dcb ? *m_dcb : DCB{};
    *baud = static_cast<int>(held.BaudRate);
    *parity = ParityLetterOf(held.Parity);
    *dataBits = held.ByteSize;
    *stopBits = held.StopBits == TWOSTOPBITS ? 2 : 1;
}

int WinCommPort::TakeLineState(LineStateSnapshot* snapshot) {
    PollLineStatus();
    for (int field = 0; field < SNAPSHOT_FIELDS; ++field) {
        SetSnapshotField(snapshot, field, LineControl(g_snapshotLineIds[field], -1));
    }
    m_lineErrors = 0;
    return 0;
}

LPOVERLAPPED WinCommPort::FreeWriteRecord() {
    for (int i = 0; m_writeOverlapped && i < kWriteRecords; ++i) {
        if (HasOverlappedIoCompleted(&m_writeOverlapped[i])) return &m_writeOverlapped[i];
    }
    return nullptr;
}

uint32_t WinCommPort::Write(const void* bytes, uint32_t count) {
    COMSTAT status;
    GatherErrors(&status);
    // The driver may hold more than the size asked for: then there is no room, not 4 GB of it.
    DWORD room = status.cbOutQue < m_txQueueSize ? m_txQueueSize - status.cbOutQue : 0;
    // A write still pending on its record keeps it; with every record busy nothing goes now.
    LPOVERLAPPED record = FreeWriteRecord();
    DWORD n = record ? (count < room ? count : room) : 0;
    DWORD written = 0;
    DWORD accepted = 0;
    if (n == 0 || WriteFile(m_handle, bytes, n, &written, record)) {
        accepted = written;
    } else if (GetLastError() == ERROR_IO_PENDING) {
        accepted = n;
    } else {
        GatherErrors(&status);
        accepted = written;
    }
    if (accepted < count) m_lastError = COMM_SHORT_WRITE;
    return accepted;
}

int WinCommPort::WriteByte(uint8_t byte) {
    return Write(&byte, 1) == 1 ? 0 : m_lastError;
}

int WinCommPort::WriteString(const char* text) {
    return static_cast<int>(Write(text, static_cast<uint32_t>(std::strlen(text))));
}

int WinCommPort::TransmitImmediate(uint8_t byte) {
    return TransmitCommChar(m_handle, static_cast<char>(byte)) ? 0 : COMM_FAILED;
}

uint32_t WinCommPort::Read(void* buffer, uint32_t count) {
    DWORD got = 0;
    COMSTAT status;
    GatherErrors(&status);
    if (status.cbInQue == 0) return 0;
    DWORD n = count < status.cbInQue ? count : status.cbInQue;
    if (ReadFile(m_handle, buffer, n, &got, m_readOverlapped)) return got;
    // Only a read under way has a result to collect; after any other failure the record still
    // holds the previous read's count.
    if (GetLastError() == ERROR_IO_PENDING) {
        GetOverlappedResult(m_handle, m_readOverlapped, &got, TRUE);
        return got;
    }
    GatherErrors(&status);
    return 0;
}

int WinCommPort::ReadByte() {
    uint8_t byte = 0;
    return Read(&byte, 1) == 1 ? byte : COMM_NO_DATA;
}

int WinCommPort::Purge(int transmit, int drainLimit) {
    if (transmit != 0) {
        PurgeComm(m_handle, PURGE_TXCLEAR);
        return 0;
    }
    if (drainLimit == 0) {
        PurgeComm(m_handle, PURGE_RXCLEAR);
        return 0;
    }
    // 64 bits: a negative limit counts down for ever without wrapping.
    for (long long left = drainLimit;;) {
        if (ReadByte() == COMM_NO_DATA) return 0;
        if (--left == 0) return COMM_FAILED;
    }
}

int WinCommPort::SetEventChar(char c) {
    if (!m_dcb) return FALSE;
    GetCommState(m_handle, m_dcb);
    m_dcb->EvtChar = c;
    return SetCommState(m_handle, m_dcb);
}

int WinCommPort::GetEventMask(uint32_t* mask) {
    DWORD value = 0;
    if (!GetCommMask(m_handle, &value)) return TranslateLastError();
    *mask = value;
    return 0;
}

int WinCommPort::SetEventMask(uint32_t mask) {
    return SetCommMask(m_handle, mask) ? 0 : TranslateLastError();
}

int WinCommPort::WaitEvent(uint32_t* mask) {
    DWORD value = 0;
    if (!WaitCommEvent(m_handle, &value, nullptr)) return TranslateLastError();
    *mask = value;
    return 0;
}

int WinCommPort::TranslateLastError() {
    LONG error = static_cast<LONG>(GetLastError());
    for (const PlatformError& row : kPlatformErrors) {
        if (row.error == error) return row.status;
    }
    return COMM_FAILED;
}
