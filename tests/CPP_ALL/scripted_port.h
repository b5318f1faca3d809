// A CommPort for tests: records every call, serves queued bytes and scripted results, and keeps
// settings and flow control like a device would. Tests drive holders and links over it.
#pragma once

#include "COMLINK.h"

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

class ScriptedPort : public CommPort {
public:
    std::vector<std::string> calls;  ///< "SetSettings 9600 N 8 1", "Idle", ...
    std::deque<uint8_t> rx;          ///< bytes waiting to be read
    std::vector<uint8_t> tx;         ///< bytes written
    uint32_t txRoom = 1u << 20;      ///< bytes Write accepts per call
    std::vector<int> idleResults;    ///< Idle returns these in turn, then 0
    std::function<void(int)> onIdle; ///< called with the 1-based Idle count
    std::set<int> lineErrors;        ///< LINE_ error ids gathered since the last TakeLineState
    int refuseSettings = 0;          ///< non-zero: SetSettings records and returns it
    int baud = 19200, dataBits = 8, stopBits = 1;
    char parity = 'N';
    int inputFlow = FLOW_NONE, outputFlow = FLOW_NONE;
    int idleCount = 0;

    /// Records `code` as the port's last error, as a failed open would.
    void Record(int code) { m_lastError = code; }
    /// Calls that start with `prefix`.
    int Count(const std::string& prefix) const;

    int Idle() override;
    void PollLineStatus() override { calls.push_back("PollLineStatus"); }
    void GetStatus(PortStatus* status, int request) override;
    int SetFlowControl(int inputFlow, int outputFlow) override;
    int GetFlowControl(int* inputFlow, int* outputFlow) override;
    int Break(int) override { return 0; }
    int LineControl(int lineId, int value) override;
    int SetSettings(int baud, char parity, int dataBits, int stopBits) override;
    void GetSettings(int* baud, char* parity, int* dataBits, int* stopBits) override;
    int TakeLineState(LineStateSnapshot* snapshot) override;
    int WriteByte(uint8_t byte) override;
    uint32_t Write(const void* bytes, uint32_t count) override;
    int ReadByte() override;
    uint32_t Read(void* buffer, uint32_t count) override;
};
