// The port interface's shared parts: snapshot layout, parity table, allocator, abstract operations.
#include "COMLINK.h"
#include "LibraryServices.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Rows: a field, its line identifier, the byte it lands in and the mask of its two bits there.
TEST(LineStateSnapshot, FieldsLandInTheDocumentedBits) {
    const std::tuple<int, int, int, uint8_t> rows[] = {
        {0, LINE_DTR, 0, 0x03},           {3, LINE_DSR, 0, 0xC0},           {4, LINE_CTS, 1, 0x03},
        {11, LINE_BREAK_DETECT, 2, 0xC0}, {12, LINE_PARITY_ERROR, 3, 0x03}, {15, LINE_OVERRUN, 3, 0xC0}};
    for (const auto& [field, lineId, byte, mask] : rows) {
        LineStateSnapshot snapshot{};
        SetSnapshotField(&snapshot, field, 3);
        std::vector<uint8_t> bytes(4), wanted(4);
        std::memcpy(bytes.data(), &snapshot, 4), wanted[size_t(byte)] = mask;
        EXPECT_EQ(std::tuple(bytes, g_snapshotLineIds[field], +snapshot.parityError),
                  std::tuple(wanted, lineId, field == 12 ? 3 : 0))
            << "field " << field;
    }
}

TEST(ParityTable, LettersAreExactUpperCase) {
    const std::pair<char, int> rows[] = {{'N', 0}, {'O', 1},  {'E', 2},  {'M', 3},
                                         {'S', 4}, {'n', -1}, {'X', -1}, {'\0', 5}};
    for (const auto& [letter, value] : rows)
        EXPECT_EQ(std::tuple(ParityValueOf(letter), ParityLetterOf(value)),
                  std::tuple(letter ? value : -1, value >= 0 && value < 5 ? letter : '\0'))
            << letter << " " << value;
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

// The message names the library source line of the operation (the first and the last here).
TEST(CommPortDeathTest, AbstractOperationsShowTheLibraryErrorAndExitWithOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<void (*)(CommPort&), int> rows[] = {{[](CommPort& p) { p.Idle(); }, 241},
                                                        {[](CommPort& p) { p.DumpState(nullptr); }, 285}};
    for (const auto& [call, line] : rows)
        EXPECT_EXIT(
            {
                std::atexit(AnnounceExit);
                static ErrorToStderr toStderr;
                SetLibraryServices(&toStderr);
                EmptyPort port;
                call(port);
            },
            ::testing::ExitedWithCode(1),
            "Library Error: Pure Virtual function called @\\.\\.\\\\CPP_ALL\\\\COMLINK," +
                std::to_string(line) + "\nUnable to continue execution\nexit handlers ran");
}

} // namespace
