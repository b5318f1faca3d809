#include "BoardRows.h"

#include <cstdio>

namespace {

const char* ButtonText(bool up) {
    return up ? "UP" : "DOWN";
}

// printf into a std::string; every row is far shorter than the buffer.
template <typename... Args> std::string Format(const char* format, Args... args) {
    char line[256];
    std::snprintf(line, sizeof line, format, args...);
    return line;
}

} // namespace

std::string HeaderLine(PollMode mode, RowFormat format) {
    if (format == RowFormat::Json) return "";
    const bool csv = format == RowFormat::Csv;
    if (mode == PollMode::Tilt) return csv ? "t_ms,x,y,left,right\n" : "  t_ms    x    y  left  right\n";
    std::string line = csv ? "t_ms" : "  t_ms";
    for (int k = 0; k < BoardProtocol::kChannels; ++k)
        line += csv ? Format(",ch%d", k) : Format("    ch%d", k);
    return line + (csv ? "\n" : "  (V)\n");
}

std::string TiltRow(RowFormat format, long long tMs, const TiltFrame& frame) {
    return TiltRow(format, Format("%lld", tMs), frame);
}

std::string TiltRow(RowFormat format, const std::string& time, const TiltFrame& frame) {
    const char* left = ButtonText(frame.leftUp);
    const char* right = ButtonText(frame.rightUp);
    const char* t = time.c_str();
    switch (format) {
    case RowFormat::Csv:
        return Format("%s,%d,%d,%s,%s\n", t, frame.x, frame.y, left, right);
    case RowFormat::Json:
        return Format("{\"t_ms\":%s,\"x\":%d,\"y\":%d,\"left\":\"%s\",\"right\":\"%s\"}\n", t, frame.x,
                      frame.y, left, right);
    case RowFormat::Text:
        break;
    }
    return Format("%6s  %3d  %3d  %-4s  %s\n", t, frame.x, frame.y, left, right);
}

std::string VoltageRow(RowFormat format, long long tMs, const float volts[7]) {
    return VoltageRow(format, Format("%lld", tMs), volts);
}

std::string VoltageRow(RowFormat format, const std::string& time, const float volts[7]) {
    // Per format: the time, each channel's key (json only) and value, the end of the line.
    struct Style {
        const char* time;
        const char* key;
        const char* value;
        const char* end;
    };
    static const Style kText{"%6s", nullptr, " %6.2f", "\n"};
    static const Style kCsv{"%s", nullptr, ",%.2f", "\n"};
    static const Style kJson{"{\"t_ms\":%s", ",\"ch%d\":", "%.2f", "}\n"};
    const Style& style = format == RowFormat::Csv ? kCsv : format == RowFormat::Json ? kJson : kText;
    std::string line = Format(style.time, time.c_str());
    for (int k = 0; k < BoardProtocol::kChannels; ++k) {
        if (style.key) line += Format(style.key, k);
        line += Format(style.value, static_cast<double>(volts[k]));
    }
    return line + style.end;
}
