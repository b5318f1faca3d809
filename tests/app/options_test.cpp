// korvane as a Linux program: --help answers without a window (--version is checked by
// scripts/check-package.sh), and without a display it says so in one line instead of crashing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

TEST(Options, HelpAndVersionAnswerWithoutAWindowAndNoDisplayIsOneClearLine) {
    const std::tuple<const char*, int, std::string> rows[] = {
        // arguments, exit status, standard output and error together (of --help: its first line)
        {"--help", 0, "Usage: korvane [--help] [--version]"},
        {"", 1, "korvane: no display: set DISPLAY, or QT_QPA_PLATFORM=offscreen to run without one\n"},
    };
    for (const auto& [args, status, out] : rows) {
        std::FILE* pipe = popen(
            ("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout -s KILL 10 " KORVANE_PATH " " +
             std::string(args) + " 2>&1")
                .c_str(),
            "r");
        std::string got(8192, '\0');
        got.resize(pipe ? std::fread(got.data(), 1, got.size(), pipe) : 0);
        const int raw = pipe ? pclose(pipe) : -1;
        const bool help = *args && args[2] == 'h';
        EXPECT_EQ(std::tuple(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1,
                             help ? got.substr(0, got.find('\n')) : got,
                             got.find("korvane.INI") != std::string::npos),
                  std::tuple(status, out, help))
            << args << ": the help names the profile";
    }
}
