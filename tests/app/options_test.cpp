// korvane as a Linux program: --help and --version answer without a window, and without a display
// it says so in one line instead of crashing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
    int status;
    std::string out; // standard output and error together
};

// Runs korvane with `args` and no display of any kind.
Outcome RunKorvane(const std::string& args) {
    std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout -s KILL 10 " KORVANE_PATH " " + args +
        " 2>&1";
    Outcome outcome{-1, ""};
    std::FILE* pipe = popen(command.c_str(), "r");
    char chunk[512];
    for (size_t got; pipe && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        outcome.out.append(chunk, got);
    int status = pipe ? pclose(pipe) : -1;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

} // namespace

TEST(Options, HelpAndVersionAnswerWithoutAWindowAndNoDisplayIsOneClearLine) {
    Outcome help = RunKorvane("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: korvane [--help] [--version]\n", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("korvane.INI"), std::string::npos) << "names the profile";

    Outcome version = RunKorvane("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "korvane " KORVANE_VERSION "\n");

    Outcome headless = RunKorvane("");
    EXPECT_EQ(headless.status, 1);
    EXPECT_EQ(headless.out,
              "korvane: no display: set DISPLAY, or QT_QPA_PLATFORM=offscreen to run without one\n");
}
