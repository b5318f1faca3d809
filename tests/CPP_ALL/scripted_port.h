// A CommPort for tests: records every call, serves queued bytes and scripted results, and keeps
// settings and flow control like a device would. Tests drive holders and links over it.
#pragma once

#include "COMLINK.h"

#include <algorithm>
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
    uint32_t overReport = 0;         ///< Read claims this many bytes more than it stored
    std::vector<int> idleResults;    ///< Idle returns these in turn, then 0
    std::function<void(int)> onIdle; ///< called with the 1-based Idle count
    std::set<int> lineErrors;        ///< LINE_ error ids gathered since the last TakeLineState
    int baud = 19200, dataBits = 8, stopBits = 1;
    char parity = 'N';
    int inputFlow = FLOW_NONE, outputFlow = FLOW_NONE;
    int idleCount = 0;
    std::vector<int> idleLimits; ///< the limit of each IdleUpTo, in turn

    int IdleUpTo(int limitMs) override { return idleLimits.push_back(limitMs), Idle(); }

    int Idle() override {
        calls.push_back("Idle");
        if (++idleCount, onIdle) onIdle(idleCount);
        size_t i = static_cast<size_t>(idleCount - 1);
        return i < idleResults.size() ? idleResults[i] : 0;
    }
    void GetStatus(PortStatus* status, int request) override {
        calls.push_back("GetStatus " + std::to_string(request));
        *status = PortStatus{}, status->rxCount = static_cast<int32_t>(rx.size());
    }
    int SetFlowControl(int in, int out) override {
        calls.push_back("SetFlowControl " + std::to_string(in) + " " + std::to_string(out));
        return inputFlow = in, outputFlow = out, 0;
    }
    int GetFlowControl(int* in, int* out) override {
        calls.push_back("GetFlowControl");
        return *in = inputFlow, *out = outputFlow, 0;
    }
    int LineControl(int lineId, int) override { return lineErrors.count(lineId) ? 1 : 0; }
    int SetSettings(int b, char p, int d, int s) override {
        calls.push_back("SetSettings " + std::to_string(b) + " " + p + " " + std::to_string(d) + " " +
                        std::to_string(s));
        if (ParityValueOf(p) < 0) return m_lastError = COMM_BAD_PARITY;
        return baud = b, parity = p, dataBits = d, stopBits = s, 0;
    }
    void GetSettings(int* b, char* p, int* d, int* s) override {
        calls.push_back("GetSettings");
        *b = baud, *p = parity, *d = dataBits, *s = stopBits;
    }
    int TakeLineState(LineStateSnapshot* snapshot) override {
        calls.push_back("TakeLineState");
        for (int f = 0; f < SNAPSHOT_FIELDS; ++f)
            SetSnapshotField(snapshot, f, LineControl(g_snapshotLineIds[f], -1));
        return lineErrors.clear(), 0;
    }
    int WriteByte(uint8_t byte) override { return Write(&byte, 1), 0; }
    uint32_t Write(const void* bytes, uint32_t count) override {
        calls.push_back("Write " + std::to_string(count));
        tx.insert(tx.end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + count);
        return count;
    }
    int ReadByte() override {
        calls.push_back("ReadByte");
        if (rx.empty()) return COMM_NO_DATA;
        int byte = rx.front();
        return rx.pop_front(), byte;
    }
    uint32_t Read(void* buffer, uint32_t count) override {
        calls.push_back("Read " + std::to_string(count));
        uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(rx.size()));
        std::copy_n(rx.begin(), n, static_cast<uint8_t*>(buffer));
        rx.erase(rx.begin(), rx.begin() + n);
        return n + overReport;
    }
};
