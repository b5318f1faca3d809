// The port interface's shared parts: snapshot layout, parity table, allocator, abstract operations.
#include "COMLINK.h"
#include "LibraryServices.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TEST(LineStateSnapshot, FieldsLandInTheDocumentedBits) {
    const struct {
        int field, lineId, byte;
        uint8_t mask;
    } rows[] = {
        {0, LINE_DTR, 0, 0x03},           {3, LINE_DSR, 0, 0xC0},           {4, LINE_CTS, 1, 0x03},
        {11, LINE_BREAK_DETECT, 2, 0xC0}, {12, LINE_PARITY_ERROR, 3, 0x03}, {15, LINE_OVERRUN, 3, 0xC0},
    };
    for (const auto& row : rows) {
        LineStateSnapshot snapshot{};
        SetSnapshotField(&snapshot, row.field, 3);
        uint8_t bytes[4];
        std::memcpy(bytes, &snapshot, 4);
        for (int b = 0; b < 4; ++b)
            EXPECT_EQ(bytes[b], b == row.byte ? row.mask : 0) << "field " << row.field;
        EXPECT_EQ(g_snapshotLineIds[row.field], row.lineId);
    }
    LineStateSnapshot named{};
    SetSnapshotField(&named, 12, 1);
    EXPECT_EQ(std::tuple(+named.parityError, +named.overrun), std::tuple(1, 0));
}

TEST(ParityTable, LettersAreExactUpperCase) {
    const std::pair<char, int> rows[] = {{'N', 0}, {'O', 1},  {'E', 2}, {'M', 3},
                                         {'S', 4}, {'n', -1}, {'X', -1}};
    for (const auto& [letter, value] : rows) {
        EXPECT_EQ(ParityValueOf(letter), value) << letter;
        EXPECT_EQ(ParityLetterOf(value), value >= 0 ? letter : '\0') << value;
    }
    EXPECT_EQ(ParityLetterOf(5), '\0');
}

// A port class that implements nothing: every abstract operation ends the process.
class EmptyPort : public CommPort {};

// Shows a fatal error as one line on standard error, where the death test reads it.
struct ErrorToStderr : LibraryServices {
    void ShowError(const char* text, const char* caption) override {
        std::fprintf(stderr, "%s: %s\n", caption, text);
    }
};

void AnnounceExit() {
    std::fputs("exit handlers ran\n", stderr);
}

TEST(CommPortDeathTest, AbstractOperationsShowTheLibraryErrorAndExitWithOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<void (*)(CommPort&), int> rows[] = {{[](CommPort& p) { p.Idle(); }, 241},
                                                        {[](CommPort& p) { p.GetStatus(nullptr, 7); }, 251},
                                                        {[](CommPort& p) { p.SetQueueSizes(1, 2, 3); }, 255},
                                                        {[](CommPort& p) { p.DumpState(nullptr); }, 285}};
    for (const auto& [call, line] : rows) {
        const std::string expected =
            "Library Error: Pure Virtual function called @\\.\\.\\\\CPP_ALL\\\\COMLINK," +
            std::to_string(line) + "\nUnable to continue execution\nexit handlers ran";
        EXPECT_EXIT(
            {
                std::atexit(AnnounceExit);
                static ErrorToStderr toStderr;
                SetLibraryServices(&toStderr);
                EmptyPort port;
                call(port);
            },
            ::testing::ExitedWithCode(1), expected);
    }
}

} // namespace
