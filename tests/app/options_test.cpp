// korvane as a Linux program: --help and --version answer without a window, and without a display
// it says so in one line instead of crashing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

TEST(Options, HelpAndVersionAnswerWithoutAWindowAndNoDisplayIsOneClearLine) {
    const struct {
        const char* args;
        int status;
        std::string out; // standard output and error together; "..." ends a start only
    } rows[] = {
        {"--help", 0, "Usage: korvane [--help] [--version]\n..."},
        {"--version", 0, "korvane " KORVANE_VERSION "\n"},
        {"", 1, "korvane: no display: set DISPLAY, or QT_QPA_PLATFORM=offscreen to run without one\n"},
    };
    for (const auto& row : rows) {
        std::string command =
            "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout -s KILL 10 " KORVANE_PATH " " +
            std::string(row.args) + " 2>&1";
        std::string out;
        std::FILE* pipe = popen(command.c_str(), "r");
        char chunk[512];
        for (size_t got; pipe && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
            out.append(chunk, got);
        int status = pipe ? pclose(pipe) : -1;
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status) << row.args;
        const bool start = row.out.ends_with("...");
        EXPECT_EQ(start ? out.substr(0, row.out.size() - 3) + "..." : out, row.out);
        EXPECT_EQ(start, out.find("korvane.INI") != std::string::npos) << "the help names the profile";
    }
}
