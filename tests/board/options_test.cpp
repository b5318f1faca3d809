// The korvane-board program's arguments, and the reading encodings.
#include "board_fixture.h"

#include "readings.h"

namespace {

using boardtest::BoardProcess;

struct BadRow {
    const char* args;
    const char* says; // the reason
};

TEST(Options, BadArgumentsEndWithAReasonAndStatus2) {
    const BadRow rows[] = {
        {"--frobnicate", "unknown option \"--frobnicate\""},
        {"--com", "--com needs a value"},
        {"--com 0", "--com wants a whole number from 1 to 256"},
        {"--com 3x", "not \"3x\""},
        {"--baud fast", "or \"any\""},
        {"--tilt 1,2", "three numbers from 0 to 255"},
        {"--tilt 1,2,256", "three numbers from 0 to 255"},
        {"--volts 1,2,3,4,5,6", "seven numbers"},
        {"--volts 1,2,3,4,5,6,nan", "seven numbers"},
        {"--noise 0", "--noise wants a whole number from 1"},
        {"--silent=yes", "--silent takes no value"},
        {"--short --long", "exclude each other"},
        {"--return-after 100", "needs --drop-after"},
        {"--com 4 --device /dev/ttyUSB1", "leave out --com"},
        {"--device=", "path of a serial device"},
    };
    for (const BadRow& row : rows) {
        std::string errors;
        EXPECT_EQ(BoardProcess(row.args).End(&errors), 2) << row.args;
        EXPECT_EQ(errors.rfind("korvane-board: ", 0), 0u) << errors;
        EXPECT_NE(errors.find(row.says), std::string::npos) << errors;
        EXPECT_NE(errors.find(" (see korvane-board --help)\n"), std::string::npos) << errors;
    }
}

// The help wins over everything else on the line, even a bad value.
TEST(Options, HelpDocumentsEveryOption) {
    for (const char* args : {"--help", "--com 0 -h"}) {
        std::string help;
        EXPECT_EQ(BoardProcess(args).End(&help), 0) << args;
        for (const char* option : {"--com", "--force", "--device", "--baud", "--tilt", "--volts", "--delay",
                                   "--wire", "--silent", "--probe-extra", "--short", "--long", "--noise",
                                   "--flood", "--drop-after", "--return-after", "--log", "Example:"})
            EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

TEST(Readings, VoltsBecomeBytesRoundedAndClamped) {
    struct Row {
        double volts;
        uint8_t byte;
        uint8_t channel4;
    };
    const Row rows[] = {{0.0, 0, 128}, {1.0, 51, 153},  {2.5, 128, 191}, {5.0, 255, 255}, {-5.0, 0, 0},
                        {-3.0, 0, 51}, {7.0, 255, 255}, {0.01, 1, 128},  {4.99, 254, 255}};
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
