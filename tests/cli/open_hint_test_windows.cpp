// korvane-cli's open-failure hints on Windows: each error the system gives for a COM port, another
// error in the system's own words on one line, and a real attempt on a port that is not there.
#include "connect.h"
#include "open_hint_windows.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

TEST(OpenHint, EachErrorOfOpeningTellsWhatToDo) {
    const std::string missing =
                          "COM3: no such port on this system (korvane-cli ports lists the ones there are)",
                      busy = "COM3: in use by another program: close it and try again";
    const std::pair<unsigned long, std::string> rows[] = {
        {ERROR_FILE_NOT_FOUND, missing},
        {ERROR_PATH_NOT_FOUND, missing},
        {ERROR_SHARING_VIOLATION, busy},
        {ERROR_BUSY, busy},
        {ERROR_ACCESS_DENIED,
         "COM3: access denied: another program has it open (close it), or this account may not use it"},
        {ERROR_SUCCESS, "COM3: it opens now: another program may have held it for a moment"},
    };
    for (const auto& [error, hint] : rows) EXPECT_EQ(cli::OpenErrorHint(3, error), hint) << error;
    const std::string other = cli::OpenErrorHint(12, ERROR_INVALID_PARAMETER),
                      start = "COM12: Windows error 87: ";
    EXPECT_TRUE(other.rfind(start, 0) == 0 && other.size() > start.size() && other.back() != ' ' &&
                other.find_first_of("\r\n") == std::string::npos)
        << other;
    // Nothing in the test prefix is COM16.
    EXPECT_EQ(cli::OpenFailureHint(16),
              "COM16: no such port on this system (korvane-cli ports lists the ones there are)");
}
