// Serial handles of the Windows API stand-in: the handle table, opening and closing, file I/O and
// the line functions, all in terms of a SerialLine. See winbase_serial.h for the behaviour.
#include "serial_file_posix.h"

#include <cerrno>
#include <mutex>
#include <vector>

using win32posix::SerialFile;
using win32posix::SerialLine;

namespace {

std::mutex g_tableLock;
std::vector<std::unique_ptr<SerialFile>> g_table; // handle value = (slot + 1) * 4, never 0 or -1

// The slot of `handle` in g_table, or -1. The caller holds g_tableLock.
long SlotOf(HANDLE handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || value % 4 != 0 || value / 4 > g_table.size() || !g_table[value / 4 - 1]) return -1;
    return static_cast<long>(value / 4 - 1);
}

HANDLE Insert(std::unique_ptr<SerialFile> file) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    size_t slot = 0;
    while (slot < g_table.size() && g_table[slot]) ++slot;
    if (slot == g_table.size()) g_table.emplace_back();
    g_table[slot] = std::move(file);
    return reinterpret_cast<HANDLE>((slot + 1) * 4);
}

bool LineInUse(const SerialLine* line) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    for (const auto& file : g_table) {
        if (file && file->line == line) return true;
    }
    return false;
}

// Gives `file` its line: the one installed for the name's COM number, or the terminal the name
// stands for. False with the last error set.
bool OpenLine(LPCSTR name, SerialFile* file) {
    int com = win32posix::ComNumberOf(name);
    file->line = win32posix::InstalledSerialLine(com);
    if (file->line) return !LineInUse(file->line) || win32posix::FailWith(ERROR_ACCESS_DENIED);
    int error = 0;
    file->owned.reset(win32posix::OpenTtyLine(com ? win32posix::ComDevicePath(com) : name, &error));
    if (!file->owned) return win32posix::FailWithErrno(error);
    file->line = file->owned.get();
    return true;
}

// Records an operation the way Windows does, so GetOverlappedResult reads it back: finished, or
// left pending by the line (EINPROGRESS) with the count it will have.
void Record(LPOVERLAPPED overlapped, size_t count, int error) {
    if (!overlapped) return;
    overlapped->Internal = error == EINPROGRESS ? STATUS_PENDING : 0;
    overlapped->InternalHigh = count;
}

} // namespace

namespace win32posix {

SerialFile* LookupSerialFile(HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    long slot = SlotOf(handle);
    if (slot < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return g_table[static_cast<size_t>(slot)].get();
}

BOOL FailWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL FailWithErrno(int error) {
    return FailWith(WindowsErrorFromErrno(error));
}

} // namespace win32posix

using win32posix::FailWith;
using win32posix::FailWithErrno;
using win32posix::LookupSerialFile;

HANDLE CreateFileA(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD, HANDLE) {
    if (!name || creation != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_unique<SerialFile>();
    if (!OpenLine(name, file.get())) return INVALID_HANDLE_VALUE;
    file->kept = win32posix::DefaultDcb();
    file->hasCounters = file->line->Counters(&file->lastCounters) == 0;
    return Insert(std::move(file));
}

BOOL CloseHandle(HANDLE handle) {
    std::unique_ptr<SerialFile> closing; // the line closes as this goes, outside the lock
    std::lock_guard<std::mutex> lock(g_tableLock);
    long slot = SlotOf(handle);
    if (slot < 0) return FailWith(ERROR_INVALID_HANDLE);
    closing = std::move(g_table[static_cast<size_t>(slot)]);
    return TRUE;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    if (got) *got = 0;
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    size_t n = 0;
    int error = count ? file->line->Read(buffer, count, &n) : 0;
    Record(overlapped, n, error);
    if (error) return FailWithErrno(error);
    if (got) *got = static_cast<DWORD>(n);
    return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID bytes, DWORD count, LPDWORD put, LPOVERLAPPED overlapped) {
    if (put) *put = 0;
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    size_t n = 0;
    int error = count ? file->line->Write(bytes, count, &n) : 0;
    Record(overlapped, n, error);
    if (error == EINPROGRESS && overlapped) file->pendingWrites.push_back(overlapped);
    if (error) return FailWithErrno(error);
    if (put) *put = static_cast<DWORD>(n);
    return TRUE;
}

BOOL GetOverlappedResult(HANDLE handle, LPOVERLAPPED overlapped, LPDWORD count, BOOL) {
    if (!LookupSerialFile(handle)) return FALSE;
    if (!overlapped || !count) return FailWith(ERROR_INVALID_PARAMETER);
    overlapped->Internal = 0; // what a pending operation moves has moved already: asking finishes it
    *count = static_cast<DWORD>(overlapped->InternalHigh);
    return TRUE;
}

BOOL SetupComm(HANDLE handle, DWORD, DWORD) {
    return LookupSerialFile(handle) ? TRUE : FALSE;
}

BOOL GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    if (!timeouts) return FailWith(ERROR_INVALID_PARAMETER);
    *timeouts = file->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    if (!timeouts) return FailWith(ERROR_INVALID_PARAMETER);
    file->timeouts = *timeouts;
    return TRUE;
}

BOOL PurgeComm(HANDLE handle, DWORD flags) {
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    bool receive = flags & (PURGE_RXCLEAR | PURGE_RXABORT);
    bool transmit = flags & (PURGE_TXCLEAR | PURGE_TXABORT);
    int error = file->line->Flush(receive, transmit);
    return error ? FailWithErrno(error) : TRUE;
}

BOOL EscapeCommFunction(HANDLE handle, DWORD function) {
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    SerialLine* line = file->line;
    int error = 0;
    switch (function) {
    case SETDTR:
        error = line->SetModemLines(win32posix::kLineDtr, true);
        break;
    case CLRDTR:
        error = line->SetModemLines(win32posix::kLineDtr, false);
        break;
    case SETRTS:
        error = line->SetModemLines(win32posix::kLineRts, true);
        break;
    case CLRRTS:
        error = line->SetModemLines(win32posix::kLineRts, false);
        break;
    case SETBREAK:
        error = line->SetBreak(true);
        break;
    case CLRBREAK:
        error = line->SetBreak(false);
        break;
    case SETXOFF:
        error = line->FlowOutput(true);
        break;
    case SETXON:
        error = line->FlowOutput(false);
        break;
    default:
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    return error ? FailWithErrno(error) : TRUE;
}

BOOL SetCommBreak(HANDLE handle) {
    return EscapeCommFunction(handle, SETBREAK);
}

BOOL ClearCommBreak(HANDLE handle) {
    return EscapeCommFunction(handle, CLRBREAK);
}

BOOL GetCommModemStatus(HANDLE handle, LPDWORD status) {
    if (status) *status = 0;
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    if (!status) return FailWith(ERROR_INVALID_PARAMETER);
    unsigned lines = 0;
    if (int error = file->line->ModemLines(&lines)) return FailWithErrno(error);
    *status = ((lines & win32posix::kLineCts) ? MS_CTS_ON : 0) |
              ((lines & win32posix::kLineDsr) ? MS_DSR_ON : 0) |
              ((lines & win32posix::kLineRing) ? MS_RING_ON : 0) |
              ((lines & win32posix::kLineDcd) ? MS_RLSD_ON : 0);
    return TRUE;
}

BOOL TransmitCommChar(HANDLE handle, char c) {
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    size_t put = 0;
    if (int error = file->line->Write(&c, 1, &put)) return FailWithErrno(error);
    return put == 1 ? TRUE : FailWith(ERROR_BUSY);
}

namespace win32posix {

BOOL WaitCommReady(HANDLE handle, DWORD timeoutMs) {
    SerialFile* file = LookupSerialFile(handle);
    int error = file ? file->line->WaitReady(static_cast<int>(timeoutMs)) : 0;
    if (file && !error) return TRUE;
    // A vanished device answers every wait at once: sleep instead, so that a loop does not spin.
    Sleep(timeoutMs);
    return file ? FailWithErrno(error) : FALSE;
}

BOOL SetCommLowLatency(HANDLE handle) {
    SerialFile* file = LookupSerialFile(handle);
    if (!file) return FALSE;
    int error = file->line->SetLowLatency();
    if (error == ENOTTY || error == EINVAL) return FailWith(ERROR_NOT_SUPPORTED);
    return error ? FailWithErrno(error) : TRUE;
}

} // namespace win32posix
