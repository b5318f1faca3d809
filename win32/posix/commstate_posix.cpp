// The comm state (DCB <-> LineSettings), the status and error query, and the event functions of
// the Windows API stand-in. See winbase_serial.h for the DCB table.
#include "serial_file_posix.h"

#include <cerrno>

using win32posix::FailWith;
using win32posix::FailWithErrno;
using win32posix::LineCounters;
using win32posix::LineSettings;
using win32posix::LookupSerialFile;
using win32posix::SerialFile;
using win32posix::SerialLine;

namespace {

// Overwrites the fields the line holds; the kept ones stay.
void MergeLine(const LineSettings& s, DCB* dcb) {
    dcb->BaudRate = s.baud;
    dcb->ByteSize = s.dataBits;
    dcb->Parity = s.parity;
    dcb->StopBits = !s.twoStopBits ? ONESTOPBIT : s.dataBits == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    bool ctsKept = dcb->fOutxCtsFlow || dcb->fRtsControl == RTS_CONTROL_HANDSHAKE;
    if (s.rtsCts && !ctsKept) {
        dcb->fOutxCtsFlow = 1;
        dcb->fRtsControl = RTS_CONTROL_HANDSHAKE;
    } else if (!s.rtsCts) {
        dcb->fOutxCtsFlow = 0;
        if (dcb->fRtsControl == RTS_CONTROL_HANDSHAKE) dcb->fRtsControl = RTS_CONTROL_ENABLE;
    }
    dcb->fOutX = s.xonOutput;
    dcb->fInX = s.xonInput;
    dcb->XonChar = s.xonChar;
    dcb->XoffChar = s.xoffChar;
    dcb->fParity = s.parityCheck;
    dcb->fBinary = 1;
}

// The line settings for `dcb`, or false for a DCB that Windows refuses as well.
bool LineFromDcb(const DCB& dcb, LineSettings* s) {
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY) return false;
    if (dcb.StopBits > TWOSTOPBITS || (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5)) return false;
    if (dcb.XonChar == dcb.XoffChar) return false;
    s->baud = dcb.BaudRate;
    s->dataBits = dcb.ByteSize;
    s->parity = dcb.Parity;
    s->twoStopBits = dcb.StopBits != ONESTOPBIT;
    s->rtsCts = dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
    s->xonOutput = dcb.fOutX;
    s->xonInput = dcb.fInX;
    s->xonChar = dcb.XonChar;
    s->xoffChar = dcb.XoffChar;
    s->parityCheck = dcb.fParity;
    return true;
}

// DTR and RTS follow the DCB's control fields as on Windows; a line without modem lines (a pty)
// has none to set, which is not a failure of the state.
void ApplyOutputLines(SerialLine* line, const DCB& dcb) {
    unsigned raise = 0, drop = 0;
    (dcb.fDtrControl == DTR_CONTROL_DISABLE ? drop : raise) |= win32posix::kLineDtr;
    if (dcb.fRtsControl != RTS_CONTROL_TOGGLE) {
        (dcb.fRtsControl == RTS_CONTROL_DISABLE ? drop : raise) |= win32posix::kLineRts;
    }
    if (raise) line->SetModemLines(raise, true);
    if (drop) line->SetModemLines(drop, false);
}

// Error bits for the counts that grew since `before`.
DWORD ErrorBits(const LineCounters& before, const LineCounters& now) {
    return (now.frame != before.frame ? CE_FRAME : 0) | (now.overrun != before.overrun ? CE_OVERRUN : 0) |
           (now.parity != before.parity ? CE_RXPARITY : 0) | (now.brk != before.brk ? CE_BREAK : 0) |
           (now.bufOverrun != before.bufOverrun ? CE_RXOVER : 0);
}

// Line errors since the previous call. A line that keeps no counters (ENOTTY: ptys) is not asked
// again, which keeps a status query at two system calls there.
DWORD CollectErrors(SerialFile* file) {
    if (!file->hasCounters) return 0;
    LineCounters now;
    int error = file->line->Counters(&now);
    if (error == ENOTTY || error == EINVAL) file->hasCounters = false;
    if (error != 0) return 0;
    DWORD bits = ErrorBits(file->lastCounters, now);
    file->lastCounters = now;
    return bits;
}

// Sending waits for CTS only when there is something to send; asking the line costs a system
// call, so it is asked only then.
bool CtsHolds(SerialFile* file, DWORD outQueue) {
    unsigned lines = 0;
    if (!file->kept.fOutxCtsFlow || outQueue == 0) return false;
    return file->line->ModemLines(&lines) == 0 && !(lines & win32posix::kLineCts);
}

// The transmit queue has run dry: every write left pending is done.
void CompletePendingWrites(SerialFile* file) {
    for (LPOVERLAPPED overlapped : file->pendingWrites) overlapped->Internal = 0;
    file->pendingWrites.clear();
}

// What the events in `mask` look like now, to compare against a later look.
struct EventView {
    uint32_t inQueue = 0, outQueue = 0;
    unsigned lines = 0;
    LineCounters counters;
};

int Look(SerialFile* file, EventView* view) {
    if (int error = file->line->Queues(&view->inQueue, &view->outQueue)) return error;
    if (file->hasCounters) file->line->Counters(&view->counters);
    file->line->ModemLines(&view->lines);
    return 0;
}

DWORD EventsBetween(const EventView& before, const EventView& now, DWORD mask) {
    DWORD errors = ErrorBits(before.counters, now.counters);
    DWORD changed = before.lines ^ now.lines;
    // Bytes waiting count as an event whenever they wait; the transmit queue counts when it runs dry.
    DWORD events =
        (now.inQueue > 0 ? EV_RXCHAR : 0) | (before.outQueue > 0 && now.outQueue == 0 ? EV_TXEMPTY : 0) |
        ((errors & ~CE_BREAK) ? EV_ERR : 0) | ((errors & CE_BREAK) ? EV_BREAK : 0) |
        ((changed & win32posix::kLineCts) ? EV_CTS : 0) | ((changed & win32posix::kLineDsr) ? EV_DSR : 0) |
        ((changed & win32posix::kLineDcd) ? EV_RLSD : 0) | ((changed & win32posix::kLineRing) ? EV_RING : 0);
    return events & mask;
}

} // namespace

namespace win32posix {

DCB DefaultDcb() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

} // namespace win32posix

BOOL GetCommState(HANDLE handle, LPDCB dcb) {
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    if (!dcb) return FailWith(ERROR_INVALID_PARAMETER);
    LineSettings settings;
    if (int error = file->line->GetSettings(&settings)) return FailWithErrno(error);
    MergeLine(settings, &file->kept);
    *dcb = file->kept;
    return TRUE;
}

BOOL SetCommState(HANDLE handle, LPDCB dcb) {
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    LineSettings settings;
    if (!dcb || !LineFromDcb(*dcb, &settings)) return FailWith(ERROR_INVALID_PARAMETER);
    if (int error = file->line->SetSettings(settings)) return FailWithErrno(error);
    ApplyOutputLines(file->line, *dcb);
    file->kept = *dcb;
    file->kept.DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT status) {
    if (errors) *errors = 0;
    if (status) *status = COMSTAT{};
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    uint32_t in = 0, out = 0;
    if (int error = file->line->Queues(&in, &out)) return FailWithErrno(error);
    DWORD bits = CollectErrors(file);
    if (errors) *errors = bits;
    if (out == 0) CompletePendingWrites(file);
    if (status) {
        status->cbInQue = in;
        status->cbOutQue = out;
        status->fCtsHold = CtsHolds(file, out);
    }
    return TRUE;
}

BOOL GetCommMask(HANDLE handle, LPDWORD mask) {
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    if (!mask) return FailWith(ERROR_INVALID_PARAMETER);
    *mask = file->eventMask;
    return TRUE;
}

BOOL SetCommMask(HANDLE handle, DWORD mask) {
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    file->eventMask = mask;
    return TRUE;
}

BOOL WaitCommEvent(HANDLE handle, LPDWORD mask, LPOVERLAPPED overlapped) {
    if (mask) *mask = 0;
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    if (!mask || overlapped || file->eventMask == 0) return FailWith(ERROR_INVALID_PARAMETER);
    EventView before, now;
    if (int error = Look(file, &before)) return FailWithErrno(error);
    for (;;) {
        // Sleeps until bytes come or 10 ms pass: no busy loop while idle.
        if (!(file->eventMask & EV_RXCHAR)) {
            Sleep(10);
        } else if (int error = file->line->WaitReadable(10)) {
            return FailWithErrno(error);
        }
        if (int error = Look(file, &now)) return FailWithErrno(error);
        if ((*mask = EventsBetween(before, now, file->eventMask)) != 0) return TRUE;
    }
}
