// Command-line parsing: one table maps each option to the field it sets.
#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace board {
namespace {

constexpr int kMaxCom = 256;          // highest COM number Windows knows
constexpr long kMaxBaud = 4000000;    // fastest common UART rate
constexpr int kMaxMs = 3600 * 1000;   // an hour: longer delays are typing mistakes
constexpr int kMaxNoise = 100000;     // far more than any line carries
constexpr int kMaxCount = 1000000000; // commands before an unplug

bool ParseLong(const char* text, long min, long max, long* out) {
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || value < min || value > max) return false;
    *out = value;
    return true;
}

// Sets `*out` from `text` or explains which range it must be in.
bool SetInt(const char* name, const char* text, long min, long max, int* out, std::string* error) {
    long value = 0;
    if (!ParseLong(text, min, max, &value)) {
        *error = std::string(name) + " wants a whole number from " + std::to_string(min) + " to " +
                 std::to_string(max) + ", not \"" + text + "\"";
        return false;
    }
    *out = static_cast<int>(value);
    return true;
}

// Splits "a,b,c" into its fields; empty fields are kept so that they fail to parse.
std::vector<std::string> SplitCommas(const char* text) {
    std::vector<std::string> fields(1);
    for (const char* p = text; *p; ++p) {
        if (*p == ',')
            fields.emplace_back();
        else
            fields.back() += *p;
    }
    return fields;
}

bool SetTilt(BoardOptions* o, const char* text, std::string* error) {
    std::vector<std::string> fields = SplitCommas(text);
    long value = 0;
    bool ok = fields.size() == 3;
    for (size_t i = 0; ok && i < 3; ++i) {
        ok = ParseLong(fields[i].c_str(), 0, 255, &value);
        o->tilt[i] = static_cast<uint8_t>(value);
    }
    if (!ok) *error = std::string("--tilt wants X,Y,BITS, three numbers from 0 to 255, not \"") + text + "\"";
    o->fixedTilt = ok;
    return ok;
}

bool SetVolts(BoardOptions* o, const char* text, std::string* error) {
    std::vector<std::string> fields = SplitCommas(text);
    bool ok = fields.size() == 7;
    for (size_t i = 0; ok && i < 7; ++i) {
        const char* field = fields[i].c_str();
        char* end = nullptr;
        o->volts[i] = std::strtod(field, &end);
        ok = end != field && *end == '\0' && std::isfinite(o->volts[i]);
    }
    if (!ok) *error = std::string("--volts wants seven numbers V0,...,V6 in volts, not \"") + text + "\"";
    o->fixedVolts = ok;
    return ok;
}

bool SetBaud(BoardOptions* o, const char* text, std::string* error) {
    long value = 0;
    if (std::strcmp(text, "any") == 0)
        value = 0;
    else if (!ParseLong(text, 1, kMaxBaud, &value)) {
        *error =
            std::string("--baud wants a speed such as 38400 or 128000, or \"any\", not \"") + text + "\"";
        return false;
    }
    o->baud = static_cast<uint32_t>(value);
    return true;
}

using Setter = bool (*)(BoardOptions*, const char* value, std::string* error);

bool SetDevice(BoardOptions* o, const char* text, std::string* error) {
    if (*text == '\0')
        *error = "--device wants the path of a serial device";
    else
        o->device = text;
    return error->empty();
}

// One option: a flag, a whole number in a range, or a value with its own parser.
struct OptionRow {
    const char* name;
    bool BoardOptions::*flag;
    int BoardOptions::*number;
    long min, max;
    Setter parse;
};

const OptionRow kOptions[] = {
    {"--com", nullptr, &BoardOptions::com, 1, kMaxCom, nullptr},
    {"--device", nullptr, nullptr, 0, 0, SetDevice},
    {"--baud", nullptr, nullptr, 0, 0, SetBaud},
    {"--force", &BoardOptions::force, nullptr, 0, 0, nullptr},
    {"--tilt", nullptr, nullptr, 0, 0, SetTilt},
    {"--volts", nullptr, nullptr, 0, 0, SetVolts},
    {"--delay", nullptr, &BoardOptions::delayMs, 0, kMaxMs, nullptr},
    {"--wire", &BoardOptions::wire, nullptr, 0, 0, nullptr},
    {"--silent", &BoardOptions::silent, nullptr, 0, 0, nullptr},
    {"--probe-extra", &BoardOptions::probeExtra, nullptr, 0, 0, nullptr},
    {"--short", &BoardOptions::shortFrames, nullptr, 0, 0, nullptr},
    {"--long", &BoardOptions::longFrames, nullptr, 0, 0, nullptr},
    {"--noise", nullptr, &BoardOptions::noisePerSecond, 1, kMaxNoise, nullptr},
    {"--flood", &BoardOptions::flood, nullptr, 0, 0, nullptr},
    {"--drop-after", nullptr, &BoardOptions::dropAfter, 1, kMaxCount, nullptr},
    {"--return-after", nullptr, &BoardOptions::returnAfterMs, 0, kMaxMs, nullptr},
    {"--silent-after", nullptr, &BoardOptions::silentAfter, 1, kMaxCount, nullptr},
    {"--answer-after", nullptr, &BoardOptions::answerAfterMs, 0, kMaxMs, nullptr},
    {"--log", &BoardOptions::log, nullptr, 0, 0, nullptr},
};

// Stores the value of `row`; a flag is simply set.
bool Apply(const OptionRow& row, BoardOptions* o, const char* value, std::string* error) {
    if (row.flag) return o->*row.flag = true;
    if (row.number) return SetInt(row.name, value, row.min, row.max, &(o->*row.number), error);
    return row.parse(o, value, error);
}

const OptionRow* FindOption(std::string_view name) {
    for (const OptionRow& row : kOptions)
        if (name == row.name) return &row;
    return nullptr;
}

// Combinations that cannot mean anything; the options themselves were valid.
bool CheckConsistent(const BoardOptions& o, bool comGiven, std::string* error) {
    if (o.shortFrames && o.longFrames)
        *error = "--short and --long exclude each other";
    else if (o.returnAfterMs >= 0 && o.dropAfter == 0)
        *error = "--return-after needs --drop-after N";
    else if (o.answerAfterMs >= 0 && o.silentAfter == 0)
        *error = "--answer-after needs --silent-after N";
    else if (comGiven && !o.device.empty())
        *error = "--device serves a cable, not a COM link: leave out --com";
    else if (o.force && !o.device.empty())
        *error = "--force is about the COM link and means nothing with --device";
    return error->empty();
}

// Takes one option (and its value) from argv at *index; moves *index past what it used.
bool TakeOption(int argc, const char* const* argv, int* index, BoardOptions* o, std::string* error) {
    std::string_view arg = argv[*index];
    size_t equals = arg.find('=');
    std::string name(arg.substr(0, equals));
    const OptionRow* row = FindOption(name);
    if (!row) {
        *error = "unknown option \"" + std::string(arg) + "\"";
        return false;
    }
    std::string value;
    if (equals != std::string_view::npos) value = arg.substr(equals + 1);
    bool takesValue = row->flag == nullptr;
    if (takesValue && equals == std::string_view::npos) {
        if (*index + 1 >= argc) {
            *error = name + " needs a value";
            return false;
        }
        value = argv[++*index];
    } else if (!takesValue && equals != std::string_view::npos) {
        *error = name + " takes no value";
        return false;
    }
    ++*index;
    return Apply(*row, o, value.c_str(), error);
}

} // namespace

ParseResult ParseOptions(int argc, const char* const* argv, BoardOptions* options, std::string* error) {
    BoardOptions o;
    bool comGiven = false;
    error->clear();
    for (int i = 1; i < argc; ++i) // asking for help is never an error
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h")
            return ParseResult::Help;
    for (int i = 1; i < argc;) {
        comGiven = comGiven || std::string_view(argv[i]).substr(0, 5) == "--com";
        if (!TakeOption(argc, argv, &i, &o, error)) return ParseResult::Error;
    }
    if (!CheckConsistent(o, comGiven, error)) return ParseResult::Error;
    *options = o;
    return ParseResult::Run;
}

const char* UsageText() {
    return R"(Usage: korvane-board [OPTION]...
Behaves like the Korvane sensor board on the far end of a serial line. It opens a pseudo-terminal,
links it as $XDG_CONFIG_HOME/korvane/devices/COMn (XDG_CONFIG_HOME defaults to ~/.config), prints
the device path and "ready", and answers until Ctrl-C, SIGTERM or an unplug without return. On
exit it removes the link it made. Commands: 'P' -> 'Q', 'z' -> 3-byte TILT frame, 's' -> 7-byte
DVM frame; other bytes are ignored.

Line:
  --com N            link the pseudo-terminal as COM N, 1 to 256 (default 3)    --com 5
  --force            replace a COM N link that points to some other device      --com 3 --force
  --device PATH      serve a real serial device instead (null-modem cable)      --device /dev/ttyUSB1
  --baud RATE|any    answer only at this line speed (default 38400); bytes sent
                     at another speed are ignored, as garbage would be          --baud 128000

Readings (by default they move: X/Y circle, buttons change every few seconds,
voltages drift, channel 4 swings from -5 to +5 V):
  --tilt X,Y,BITS    fixed TILT frame bytes, 0 to 255 each                      --tilt 128,64,3
  --volts V0,...,V6  fixed voltages; byte = round(V x 51), channel 4 in -5..+5 V
                     as round((V / 2 + 2.5) x 51), clamped to 0..255          --volts 0,1,2,3,-5,4.5,5

Timing:
  --delay MS         answer MS milliseconds late                                --delay 120
  --wire             space the reply bytes by the line's wire time (10 bits a
                     byte: 260 us at 38400 baud)                                --wire

Faults (combine freely, except --short with --long):
  --silent           never answer                                               --silent
  --probe-extra      answer 'P' with 'Q' and one more byte (a CR)               --probe-extra
  --short            send every TILT and DVM frame one byte short               --short
  --long             send every TILT and DVM frame one byte long (adds a CR)    --long
  --noise N          N stray bytes a second between commands, 1 to 100000       --noise 5
  --flood            send TILT frames without pause while a client is there     --flood
  --drop-after N     answer N commands, then unplug like a pulled adapter: the
                     next byte (or a second of quiet) finds the line closed and
                     the link gone; without --return-after the emulator ends    --drop-after 20
  --return-after MS  MS milliseconds after an unplug, plug a new line in under
                     the same COM name (and unplug again after N commands)      --drop-after 20 --return-after 2000
  --silent-after N   answer N commands, then fall silent with the line still in
                     (a board that lost power behind a working adapter)         --silent-after 20
  --answer-after MS  MS milliseconds after falling silent, answer again (and
                     fall silent again after N more commands)                   --silent-after 20 --answer-after 1000

Other:
  --log              one line per received byte on standard error: time, byte,
                     line speed, reply                                          --log
  --help, -h         show this text

Example: korvane-board --com 3 --tilt 128,64,3 --log
  then open COM3 at 38400 8N1: 'P' gives 'Q', 'z' gives 80 40 03.
Exit status: 0 after a normal end, 1 when the line or the link cannot be set up, 2 for bad options.
)";
}

} // namespace board
