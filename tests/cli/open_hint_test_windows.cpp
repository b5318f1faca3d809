// korvane-cli's open-failure hints on Windows: each error the system gives for a COM port, and a
// real attempt on a port that is not there.
#include "connect.h"
#include "open_hint_windows.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

struct HintRow {
    unsigned long error;
    const char* hint;
};

TEST(OpenHint, EachErrorOfOpeningTellsWhatToDo) {
    const char* const missing =
        "COM3: no such port on this system (korvane-cli ports lists the ones there are)";
    const char* const busy = "COM3: in use by another program: close it and try again";
    const HintRow rows[] = {
        {ERROR_FILE_NOT_FOUND, missing},
        {ERROR_PATH_NOT_FOUND, missing},
        {ERROR_SHARING_VIOLATION, busy},
        {ERROR_BUSY, busy},
        {ERROR_ACCESS_DENIED,
         "COM3: access denied: another program has it open (close it), or this account may not use it"},
        {ERROR_SUCCESS, "COM3: it opens now: another program may have held it for a moment"},
    };
    for (const HintRow& row : rows) EXPECT_EQ(cli::OpenErrorHint(3, row.error), row.hint) << row.error;
}

TEST(OpenHint, AnotherErrorGivesTheSystemsTextOnOneLine) {
    const std::string hint = cli::OpenErrorHint(12, ERROR_INVALID_PARAMETER);
    const std::string start = "COM12: Windows error 87: ";
    ASSERT_EQ(hint.compare(0, start.size(), start), 0) << hint;
    EXPECT_GT(hint.size(), start.size()) << hint;
    EXPECT_EQ(hint.find_first_of("\r\n"), std::string::npos) << hint;
    EXPECT_NE(hint.back(), ' ') << hint;
}

// Nothing in the test prefix is COM16.
TEST(OpenHint, APortThatIsNotThereIsNamedSo) {
    EXPECT_EQ(cli::OpenFailureHint(16),
              "COM16: no such port on this system (korvane-cli ports lists the ones there are)");
}

} // namespace
