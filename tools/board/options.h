// Command-line options of the sensor board emulator.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace board {

/// Everything the emulator can be told. Defaults: a pseudo-terminal linked as COM3 that answers
/// at 38400 baud at once, with moving readings and no faults.
struct BoardOptions {
    int com = 3;                   ///< COM number of the link in the device directory
    std::string device;            ///< real serial device to serve instead of a pseudo-terminal
    uint32_t baud = 38400;         ///< the only line speed it answers at; 0 answers at any speed
    bool force = false;            ///< replace a link that points elsewhere
    bool fixedTilt = false;        ///< tilt below instead of moving readings
    std::array<uint8_t, 3> tilt{}; ///< X, Y, button bits
    bool fixedVolts = false;       ///< volts below instead of drifting voltages
    std::array<double, 7> volts{}; ///< channels 0..6; channel 4 in -5..+5 V
    int delayMs = 0;               ///< answer this late
    bool wire = false;             ///< space reply bytes by the line's wire time
    bool silent = false;           ///< never answer
    bool probeExtra = false;       ///< answer the probe with 'Q' and one more byte
    bool shortFrames = false;      ///< frames one byte short
    bool longFrames = false;       ///< frames one byte long
    int noisePerSecond = 0;        ///< stray bytes a second between commands
    bool flood = false;            ///< send frames without pause
    int dropAfter = 0;             ///< unplug after answering this many commands; 0 never
    int returnAfterMs = -1;        ///< plug back in after this long; -1 stay unplugged and end
    int silentAfter = 0;           ///< stop answering after answering this many commands; 0 never
    int answerAfterMs = -1;        ///< answer again this long after falling silent; -1 never
    bool log = false;              ///< one line per received byte on the log stream
};

/// What the command line asks for.
enum class ParseResult {
    Run,   ///< options are complete and consistent
    Help,  ///< --help: print UsageText and end successfully
    Error, ///< `error` says what is wrong and what to do
};

/// Fills `options` from argv[1..argc-1]. Returns Run, Help, or Error with a one-line reason in
/// `error` (the program adds "see --help").
ParseResult ParseOptions(int argc, const char* const* argv, BoardOptions* options, std::string* error);

/// The --help text: every option with its meaning, and examples.
const char* UsageText();

} // namespace board
