// CommPort's shared parts: the abstract operations, the tables every port shares, the allocator.
#include "COMLINK.h"

#include "LibraryServices.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The path the abstract operations report; a fixed name of this source, whatever the build tree.
const char kSourcePath[] = "..\\CPP_ALL\\COMLINK";

} // namespace

const int g_snapshotLineIds[SNAPSHOT_FIELDS] = {
    LINE_DTR,
    LINE_RTS,
    LINE_BREAK,
    LINE_DSR, // byte 0
    LINE_CTS,
    LINE_RING,
    LINE_RLSD,
    20, // byte 1
    19,
    17,
    18,
    LINE_BREAK_DETECT, // byte 2
    LINE_PARITY_ERROR,
    LINE_FRAMING_ERROR,
    LINE_RX_OVERFLOW,
    LINE_OVERRUN, // byte 3
};

const ParityEntry g_parityTable[5] = {{'N', 0}, {'O', 1}, {'E', 2}, {'M', 3}, {'S', 4}};

uint16_t g_portOpenCount[COMM_MAX_PORTS];

void SetSnapshotField(LineStateSnapshot* snapshot, int field, int value) {
    if (field < 0 || field >= SNAPSHOT_FIELDS) return;
    uint8_t bytes[sizeof(LineStateSnapshot)];
    std::memcpy(bytes, snapshot, sizeof bytes);
    const int shift = (field % 4) * 2;
    uint8_t& byte = bytes[field / 4];
    byte = static_cast<uint8_t>((byte & ~(3u << shift)) | ((static_cast<unsigned>(value) & 3u) << shift));
    std::memcpy(snapshot, bytes, sizeof bytes);
}

int ParityValueOf(char letter) {
    for (const ParityEntry& entry : g_parityTable) {
        if (entry.letter == letter) return entry.value;
    }
    return -1;
}

char ParityLetterOf(int value) {
    for (const ParityEntry& entry : g_parityTable) {
        if (entry.value == value) return entry.letter;
    }
    return '\0';
}

void* MemAllocZeroed(size_t count) {
    // calloc refuses a zero count on some runtimes; one byte keeps "null means exhausted" true.
    return std::calloc(count == 0 ? 1 : count, 1);
}

void MemFree(void* block) {
    std::free(block);
}

void PureVirtualError(const char* path, int line) {
    const char* format = "Pure Virtual function called @%s,%d\nUnable to continue execution";
    // Sized from the arguments, so the message is never cut and never overflows.
    int length = std::snprintf(nullptr, 0, format, path, line);
    std::string message(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::snprintf(message.data(), message.size() + 1, format, path, line);
    Services().ShowError(message.c_str(), "Library Error");
    std::exit(1);
}

CommPort::CommPort() : m_index(0), m_lastError(0) {}

CommPort::~CommPort() {
    if (m_raisedOpenCount && PortIndexValid(m_index) && g_portOpenCount[m_index] != 0) {
        --g_portOpenCount[m_index];
    }
}

int CommPort::TakeError() {
    int error = m_lastError;
    m_lastError = 0;
    return error;
}

int CommPort::PeekError() const {
    return m_lastError;
}

int CommPort::Reserved1() {
    return COMM_NOT_SUPPORTED;
}

int CommPort::Reserved2() {
    return COMM_NOT_SUPPORTED;
}

int CommPort::IdleUpTo(int) {
    return Idle();
}

// The abstract operations. Each reports its own line so a message names the missing operation.
int CommPort::Idle() {
    PureVirtualError(kSourcePath, 241);
}
void CommPort::PollLineStatus() {
    PureVirtualError(kSourcePath, 243);
}
void CommPort::Open(int) {
    PureVirtualError(kSourcePath, 245);
}
int CommPort::OpenDevice() {
    PureVirtualError(kSourcePath, 247);
}
int CommPort::Close() {
    PureVirtualError(kSourcePath, 249);
}
void CommPort::GetStatus(PortStatus*, int) {
    PureVirtualError(kSourcePath, 251);
}
int CommPort::SetQueueSizes(int, int, int) {
    PureVirtualError(kSourcePath, 255);
}
int CommPort::SetFlowControl(int, int) {
    PureVirtualError(kSourcePath, 257);
}
int CommPort::GetFlowControl(int*, int*) {
    PureVirtualError(kSourcePath, 259);
}
int CommPort::Break(int) {
    PureVirtualError(kSourcePath, 261);
}
int CommPort::LineControl(int, int) {
    PureVirtualError(kSourcePath, 263);
}
int CommPort::SetSettings(int, char, int, int) {
    PureVirtualError(kSourcePath, 265);
}
void CommPort::GetSettings(int*, char*, int*, int*) {
    PureVirtualError(kSourcePath, 267);
}
int CommPort::TakeLineState(LineStateSnapshot*) {
    PureVirtualError(kSourcePath, 269);
}
int CommPort::WriteByte(uint8_t) {
    PureVirtualError(kSourcePath, 271);
}
int CommPort::WriteString(const char*) {
    PureVirtualError(kSourcePath, 273);
}
uint32_t CommPort::Write(const void*, uint32_t) {
    PureVirtualError(kSourcePath, 275);
}
int CommPort::TransmitImmediate(uint8_t) {
    PureVirtualError(kSourcePath, 277);
}
int CommPort::ReadByte() {
    PureVirtualError(kSourcePath, 279);
}
uint32_t CommPort::Read(void*, uint32_t) {
    PureVirtualError(kSourcePath, 281);
}
int CommPort::Purge(int, int) {
    PureVirtualError(kSourcePath, 283);
}
void CommPort::DumpState(DumpLineCallback) {
    PureVirtualError(kSourcePath, 285);
}
