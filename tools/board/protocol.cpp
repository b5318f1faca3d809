// Command handling and the log line.
#include "protocol.h"

#include <cstdio>
#include <ctime>

namespace board {

Protocol::Protocol(const BoardOptions& options, const Readings& readings)
    : m_options(options), m_readings(readings) {}

Answer Protocol::Handle(uint8_t byte, uint32_t lineBaud, int64_t ms) const {
    Answer answer;
    answer.command = byte == kProbe || byte == kTilt || byte == kVoltages;
    answer.heard = lineBaud != 0 && (m_options.baud == 0 || lineBaud == m_options.baud);
    if (!answer.command || !answer.heard || m_options.silent) return answer;
    if (byte == kProbe) {
        answer.reply = {kProbeAnswer};
        if (m_options.probeExtra) answer.reply.push_back(kExtraByte);
        return answer;
    }
    answer.reply = Frame(byte, ms);
    if (m_options.shortFrames) answer.reply.pop_back();
    if (m_options.longFrames) answer.reply.push_back(kExtraByte);
    return answer;
}

std::vector<uint8_t> Protocol::Frame(uint8_t command, int64_t ms) const {
    if (command == kTilt) {
        TiltFrame tilt = m_readings.Tilt(ms);
        return {tilt.begin(), tilt.end()};
    }
    DvmFrame dvm = m_readings.Dvm(ms);
    return {dvm.begin(), dvm.end()};
}

namespace {

// "HH:MM:SS.mmm" of the wall clock, local time.
std::string WallClock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min, local.tm_sec,
                  now.tv_nsec / 1000000L);
    return text;
}

std::string Outcome(uint32_t lineBaud, uint32_t boardBaud, bool silent, const Answer& answer) {
    if (!answer.command) return "ignored: not a command";
    if (!answer.heard) {
        return "ignored: line at " + (lineBaud ? std::to_string(lineBaud) : std::string("unknown speed")) +
               ", board at " + std::to_string(boardBaud);
    }
    if (silent) return "silent";
    std::string hex;
    for (uint8_t b : answer.reply) {
        char text[4];
        std::snprintf(text, sizeof text, hex.empty() ? "%02X" : " %02X", b);
        hex += text;
    }
    return hex;
}

} // namespace

std::string LogLine(uint8_t byte, uint32_t lineBaud, uint32_t boardBaud, bool silent, const Answer& answer) {
    char head[64];
    char shown = byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
    std::snprintf(head, sizeof head, " rx 0x%02X '%c' at %u baud -> ", byte, shown, lineBaud);
    return WallClock() + head + Outcome(lineBaud, boardBaud, silent, answer);
}

} // namespace board
