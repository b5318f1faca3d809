#include "scripted_port.h"

#include <algorithm>
#include <cstring>

int ScriptedPort::Count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

int ScriptedPort::Idle() {
    calls.push_back("Idle");
    ++idleCount;
    if (onIdle) onIdle(idleCount);
    size_t i = static_cast<size_t>(idleCount - 1);
    return i < idleResults.size() ? idleResults[i] : 0;
}

void ScriptedPort::GetStatus(PortStatus* status, int request) {
    calls.push_back("GetStatus " + std::to_string(request));
    *status = PortStatus{};
    status->rxCount = static_cast<int32_t>(rx.size());
}

int ScriptedPort::SetFlowControl(int in, int out) {
    calls.push_back("SetFlowControl " + std::to_string(in) + " " + std::to_string(out));
    inputFlow = in;
    outputFlow = out;
    return 0;
}

int ScriptedPort::GetFlowControl(int* in, int* out) {
    calls.push_back("GetFlowControl");
    *in = inputFlow;
    *out = outputFlow;
    return 0;
}

int ScriptedPort::LineControl(int lineId, int) {
    return lineErrors.count(lineId) ? 1 : 0;
}

int ScriptedPort::SetSettings(int b, char p, int d, int s) {
    calls.push_back("SetSettings " + std::to_string(b) + " " + std::string(1, p) + " " + std::to_string(d) +
                    " " + std::to_string(s));
    int code = refuseSettings ? refuseSettings : (ParityValueOf(p) < 0 ? COMM_BAD_PARITY : 0);
    if (code) {
        m_lastError = code;
        return code;
    }
    baud = b, parity = p, dataBits = d, stopBits = s;
    return 0;
}

void ScriptedPort::GetSettings(int* b, char* p, int* d, int* s) {
    calls.push_back("GetSettings");
    *b = baud, *p = parity, *d = dataBits, *s = stopBits;
}

int ScriptedPort::TakeLineState(LineStateSnapshot* snapshot) {
    calls.push_back("TakeLineState");
    for (int field = 0; field < SNAPSHOT_FIELDS; ++field) {
        SetSnapshotField(snapshot, field, LineControl(g_snapshotLineIds[field], -1));
    }
    lineErrors.clear();
    return 0;
}

int ScriptedPort::WriteByte(uint8_t byte) {
    return Write(&byte, 1) == 1 ? 0 : m_lastError;
}

uint32_t ScriptedPort::Write(const void* bytes, uint32_t count) {
    calls.push_back("Write " + std::to_string(count));
    uint32_t n = std::min(count, txRoom);
    tx.insert(tx.end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + n);
    if (n < count) m_lastError = COMM_SHORT_WRITE;
    return n;
}

int ScriptedPort::ReadByte() {
    calls.push_back("ReadByte");
    if (rx.empty()) return COMM_NO_DATA;
    int byte = rx.front();
    rx.pop_front();
    return byte;
}

uint32_t ScriptedPort::Read(void* buffer, uint32_t count) {
    calls.push_back("Read " + std::to_string(count));
    uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(rx.size()));
    std::copy_n(rx.begin(), n, static_cast<uint8_t*>(buffer));
    rx.erase(rx.begin(), rx.begin() + n);
    return n;
}
