// WinCommPort: the CommPort of the Windows serial communications API. The same source builds
// against the real <windows.h> and against the POSIX stand-in of the win32 layer.
//
// The constructor opens "\\.\COM<index + 1>" for overlapped access and sets it up: 19200 baud 8N1,
// no handshake, DTR and RTS up, reads that return at once. No operation waits on the line: a read
// takes what is queued, a write hands over what fits in the transmit queue. The port keeps a held
// copy of the device configuration (a DCB); SetSettings, SetFlowControl and SetQueueSizes edit it
// and apply the whole copy, LineControl edits it without applying it. Line errors reported by the
// device gather in the port until TakeLineState takes them.
#pragma once

#include "COMLINK.h"

#include <windows.h>

class WinCommPort : public CommPort {
public:
    /// Opens COM<index + 1> with queue sizes rxSize/txSize (low 16 bits each); noOpen != 0 builds
    /// an empty port (no records, no device). Outcome in PeekError(): 0, COMM_NO_MEMORY,
    /// COMM_IN_USE (index open elsewhere or outside the open-count table) or a translated code.
    WinCommPort(int index, int rxSize, int txSize, int noOpen);
    /// Closes the device when this port opened it and it is still open, then frees the records.
    ~WinCommPort() override;
    WinCommPort(const WinCommPort&) = delete;
    WinCommPort& operator=(const WinCommPort&) = delete;

    /// One step of a wait (CommLink's): returns 0 once the device has bytes to read, or room to
    /// write after a write it could not take whole, and after 1 ms at the latest (POSIX: poll on the
    /// device); on Windows it gives up the time slice (Sleep(0)). Never fails.
    int Idle() override;
    /// A wait step of up to `limitMs`: POSIX sleeps on the device as Idle does, but for up to the
    /// limit (10 ms at most), so a wait of the link costs one sleep, not one per millisecond; on
    /// Windows one Idle step. Never fails.
    int IdleUpTo(int limitMs) override;
    /// Gathers the device's line errors into the port.
    void PollLineStatus() override;
    /// Opens and configures the device; records COMM_IN_USE, OpenDevice's code or SetCommState's.
    void Open(int index) override;
    /// Opens the device file: 0 or the translated code (also recorded).
    int OpenDevice() override;
    /// Purges both queues, drops DTR and RTS, closes the handle: 0 or COMM_CLOSE_FAILED (recorded).
    int Close() override;
    /// Fills every field of `status` (request ignored; flag bits 2-15 cleared); gathers line errors.
    /// A device that failed under the handle records its translated error (COMM_DEVICE_ERROR for a
    /// removed one); the counts then read 0.
    void GetStatus(PortStatus* status, int request) override;
    /// New queue sizes (0 keeps one) and XOFF limit (0 keeps it): 0 or a translated code.
    int SetQueueSizes(int rxSize, int xoffLimit, int txSize) override;
    /// 0; COMM_FAILED (COMM_BAD_INPUT_FLOW recorded), COMM_NOT_SUPPORTED, COMM_BAD_OUTPUT_FLOW or
    /// a translated code, each recorded. A refused pair leaves the held copy as it was, so no later
    /// SetSettings applies flow control that GetFlowControl does not report.
    int SetFlowControl(int inputFlow, int outputFlow) override;
    /// The pair last applied with success; returns 0.
    int GetFlowControl(int* inputFlow, int* outputFlow) override;
    /// state < 0: the state last set. 1: break on; other values: off. The state now (1 or 0), or
    /// COMM_BREAK_FAILED (recorded).
    int Break(int state) override;
    /// LINE_ ids: outputs as last set, inputs now, gathered errors 1/0, 17..20 give 0, others 2.
    int LineControl(int lineId, int value) override;
    /// 0, COMM_BAD_PARITY, COMM_BAD_DATA_BITS, COMM_BAD_STOP_BITS or a translated code (recorded).
    int SetSettings(int baud, char parity, int dataBits, int stopBits) override;
    /// The held copy's baud, parity letter, data bits and stop bits (1.5 reads as 1).
    void GetSettings(int* baud, char* parity, int* dataBits, int* stopBits) override;
    /// Fills `snapshot` and clears the gathered line errors; returns 0.
    int TakeLineState(LineStateSnapshot* snapshot) override;
    /// 0, or the recorded error (COMM_SHORT_WRITE) when the byte did not fit.
    int WriteByte(uint8_t byte) override;
    /// Write of `text` without its terminator; the count accepted.
    int WriteString(const char* text) override;
    /// The count handed over (at most the free room of the transmit queue); records
    /// COMM_SHORT_WRITE when it is less than `count`.
    uint32_t Write(const void* bytes, uint32_t count) override;
    /// Sends `byte` ahead of the queue: 0 or COMM_FAILED (not recorded).
    int TransmitImmediate(uint8_t byte) override;
    /// The next byte, or COMM_NO_DATA (not recorded).
    int ReadByte() override;
    /// At most `count` queued bytes; 0 when none is queued.
    uint32_t Read(void* buffer, uint32_t count) override;
    /// See CommPort::Purge: 0, or COMM_FAILED when drainLimit reads all delivered a byte.
    int Purge(int transmit, int drainLimit) override;
    /// Six lines: the held configuration, then the queues and hold flags from GetStatus(7).
    void DumpState(DumpLineCallback callback) override;

    /// Re-reads the device state into the held copy, sets EvtChar and applies it: the platform's
    /// success flag (non-zero on success), nothing recorded.
    virtual int SetEventChar(char c);
    /// The device's event mask: 0 or a translated code (not recorded).
    virtual int GetEventMask(uint32_t* mask);
    /// Sets the device's event mask: 0 or a translated code (not recorded).
    virtual int SetEventMask(uint32_t mask);
    /// Waits for an event of the mask and stores it: 0 or a translated code (not recorded).
    virtual int WaitEvent(uint32_t* mask);
    /// Mask 1: DTR as last set; 2: RTS as last set; else 1 when a bit of `mask` is among the
    /// modem inputs (MS_*_ON), 0 otherwise.
    virtual int QueryModemLine(int mask);
    /// The status for GetLastError(): the legacy IE_ codes map to their statuses, the errors of a
    /// device removed under an open handle (ERROR_NOT_READY, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE,
    /// ERROR_OPERATION_ABORTED, ERROR_DEVICE_NOT_CONNECTED, ERROR_DEVICE_REMOVED) to
    /// COMM_DEVICE_ERROR, anything else to COMM_FAILED.
    virtual int TranslateLastError();

    /// Asks the driver to pass received bytes on at once instead of gathering them (on Linux
    /// ASYNC_LOW_LATENCY: an FTDI adapter's latency timer drops from 16 ms to 1 ms), until the
    /// device closes. 0 when set; COMM_NOT_SUPPORTED where the driver or the system has no such
    /// request (a pseudo-terminal, CDC-ACM, Windows). Nothing recorded.
    int RequestLowLatency();

protected:
    /// Write records held per port: a write left pending keeps its record until it completes.
    static constexpr int kWriteRecords = 4;

    DCB* m_dcb;                    ///< held copy of the device configuration; owned
    OVERLAPPED* m_readOverlapped;  ///< for every ReadFile; owned, zero-filled
    OVERLAPPED* m_writeOverlapped; ///< kWriteRecords records for WriteFile; owned, zero-filled
    COMMTIMEOUTS* m_savedTimeouts; ///< the device's time-outs as Open found them; owned
    HANDLE m_handle;               ///< null until OpenDevice succeeds and after Close
    int m_inputFlow;               ///< input flow last applied with success
    int m_outputFlow;              ///< output flow last applied with success
    int m_rts;                     ///< RTS as last set
    int m_dtr;                     ///< DTR as last set
    uint16_t m_break;              ///< break as last set
    DWORD m_lineErrors;            ///< CE_ bits gathered since the last TakeLineState
    DWORD m_savedEventMask;        ///< the device's event mask as Open found it
    DWORD m_txQueueSize;           ///< transmit queue size (16 bits)
    DWORD m_rxQueueSize;           ///< receive queue size (16 bits)

private:
    bool HeldCopyMissing();
    bool AllocateRecords();
    void FreeRecords();
    void ConfigureHeldCopy();
    DWORD GatherErrors(COMSTAT* status);
    int ApplyHeldCopy();
    LPOVERLAPPED FreeWriteRecord();
};
