// Command-line parsing and the reading encodings.
#include "options.h"
#include "readings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

board::ParseResult Parse(std::vector<const char*> args, board::BoardOptions* options, std::string* error) {
    args.insert(args.begin(), "korvane-board");
    return board::ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

struct BadRow {
    std::vector<const char*> args;
    const char* says; // part of the message
};

TEST(Options, RejectsWhatCannotBeMeantWithAReason) {
    const BadRow rows[] = {
        {{"--frobnicate"}, "unknown option \"--frobnicate\""},
        {{"--com"}, "--com needs a value"},
        {{"--com", "0"}, "--com wants a whole number from 1 to 256"},
        {{"--com", "3x"}, "not \"3x\""},
        {{"--baud", "fast"}, "or \"any\""},
        {{"--tilt", "1,2"}, "three numbers from 0 to 255"},
        {{"--tilt", "1,2,256"}, "three numbers from 0 to 255"},
        {{"--volts", "1,2,3,4,5,6"}, "seven numbers"},
        {{"--volts", "1,2,3,4,5,6,nan"}, "seven numbers"},
        {{"--noise", "0"}, "--noise wants a whole number from 1"},
        {{"--silent=yes"}, "--silent takes no value"},
        {{"--short", "--long"}, "exclude each other"},
        {{"--return-after", "100"}, "needs --drop-after"},
        {{"--com", "4", "--device", "/dev/ttyUSB1"}, "leave out --com"},
        {{"--device="}, "path of a serial device"},
    };
    for (const BadRow& row : rows) {
        board::BoardOptions options;
        std::string error;
        EXPECT_EQ(Parse(row.args, &options, &error), board::ParseResult::Error) << row.args[0];
        EXPECT_NE(error.find(row.says), std::string::npos) << error;
    }
}

TEST(Options, TakesValuesInBothSpellings) {
    board::BoardOptions o;
    std::string error;
    ASSERT_EQ(Parse({"--com=7", "--baud", "any", "--tilt", "0x80,64,3", "--volts=0,1,2,3,-5,4.5,5", "--delay",
                     "20", "--drop-after", "5", "--return-after=0", "--noise", "9", "--probe-extra"},
                    &o, &error),
              board::ParseResult::Run)
        << error;
    EXPECT_EQ(o.com, 7);
    EXPECT_EQ(o.baud, 0u); // any speed
    EXPECT_EQ(o.tilt, (std::array<uint8_t, 3>{128, 64, 3}));
    EXPECT_DOUBLE_EQ(o.volts[5], 4.5);
    EXPECT_EQ(o.returnAfterMs, 0);
    EXPECT_TRUE(o.probeExtra && o.fixedTilt && o.fixedVolts && !o.silent);
}

TEST(Options, HelpWinsOverEverythingElse) {
    board::BoardOptions o;
    std::string error;
    EXPECT_EQ(Parse({"--com", "0", "--help"}, &o, &error), board::ParseResult::Help);
    EXPECT_EQ(Parse({"--silent", "-h"}, &o, &error), board::ParseResult::Help);
}

TEST(Readings, VoltsBecomeBytesRoundedAndClamped) {
    struct Row {
        double volts;
        uint8_t byte;
        uint8_t channel4;
    };
    const Row rows[] = {
        {0.0, 0, 128}, {1.0, 51, 153},  {2.5, 128, 191}, {5.0, 255, 255},  {-5.0, 0, 0},
        {-3.0, 0, 51}, {7.0, 255, 255}, {0.01, 1, 128},  {4.99, 254, 255},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(board::VoltsToByte(row.volts), row.byte) << row.volts;
        EXPECT_EQ(board::Channel4ToByte(row.volts), row.channel4) << row.volts;
    }
}

TEST(Readings, MoveUnlessFixed) {
    board::BoardOptions options;
    board::Readings moving(options);
    EXPECT_NE(moving.Tilt(0), moving.Tilt(1000));
    EXPECT_NE(moving.Tilt(0)[2], moving.Tilt(3000)[2]); // the buttons change every few seconds
    EXPECT_NE(moving.Dvm(0), moving.Dvm(2500));
    options.fixedTilt = true;
    options.tilt = {1, 2, 3};
    board::Readings fixed(options);
    EXPECT_EQ(fixed.Tilt(0), fixed.Tilt(5000));
}

} // namespace
