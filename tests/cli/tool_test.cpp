// The rest of korvane-cli: COM names, usage errors, help and version, map/unmap and ports in the
// private configuration directory. (The plain --version is checked by scripts/check-package.sh.)
#include "args.h"
#include "cli_process.h"

#include <filesystem>
#include <fstream>

using boardtest::LinkPath;
using clitest::CliRun;
namespace fs = std::filesystem;

TEST(Args, ComNumbersAreWrittenWithOrWithoutComInAnyCase) {
    const std::pair<const char*, int> rows[] = {
        {"3", 3},   {"COM3", 3}, {"com16", 16}, {"Com1", 1}, {"0", 0},     {"17", 0},    {"COM17", 0},
        {"COM", 0}, {"03", 0},   {"3x", 0},     {"", 0},     {"COM-1", 0}, {"COM 3", 0}, {"\\\\.\\COM3", 0}};
    for (const auto& [text, com] : rows) EXPECT_EQ(cli::ParseComNumber(text), com) << text;
}

// A usage error is one line naming the help to read: that of the command when one was recognised.
TEST(Usage, ErrorsExit64WithOneLineAndHelpAndVersionAnswerEverywhere) {
    const std::tuple<std::vector<std::string>, std::string, std::string> rows[] = {
        // arguments, the help named, the error; without one: the start of standard output
        {{}, "", "A subcommand is required"},
        {{"bogus"}, "", "unknown command \"bogus\""},
        {{"f\n", "e"}, "", "unknown command \"f \""}, // still one line
        {{"probe", "3\x1b"}, "probe ", "COM: wants 1 to 16, written 3 or COM3, not \"3?\""},
        {{"poll", "3", "--mode", "x"}, "poll ", "--mode: wants one of dvm, tilt, not \"x\""},
        {{"poll", "3", "--fast", "--interval", "0"},
         "poll ",
         "--interval: Value 0 not in range 1 to 3600000"},
        {{"publish", "3", "--broker", "h:x"}, "publish ", "--broker: wants HOST or HOST:PORT, not \"h:x\""},
        {{"publish", "3", "--broker", "h", "--topic", "a/#"},
         "publish ",
         "--topic: no + or # in a topic to publish to, not \"a/#\""},
        {{"--help"}, "-", "Korvane's board and COM ports from a shell"},
        {{"poll", "--help"}, "-", "poll the board every 100 ms"},
        {{"ports", "--version"}, "-", "korvane-cli 1.0.0\n"},
    };
    for (const auto& [args, help, text] : rows) {
        CliRun run(args);
        const bool ok = help == "-";
        EXPECT_EQ(std::tuple(run.status, run.out.substr(0, ok ? text.size() : 0), run.err),
                  std::tuple(ok ? 0 : 64, ok ? text : "",
                             ok ? "" : "korvane-cli: " + text + " (see korvane-cli " + help + "--help)\n"));
    }
}

// map and unmap make and remove the COM link (by a temporary link renamed over it: nothing is left
// behind, also when the rename fails), and ports shows where each COM name leads.
TEST(Links, MapAndUnmapMakeAndRemoveTheComLinkThatPortsShows) {
    const std::string device = std::string(boardtest::g_config.dir) + "/ttyUSB7",
                      dir = fs::path(LinkPath(8)).parent_path();
    std::ofstream(device) << "";
    fs::create_directories(LinkPath(9) + "/in-the-way");
    std::ofstream(LinkPath(8)) << "not a link";
    const std::string nowhere = "korvane-cli: warning: /nowhere does not exist (yet)\n";
    const std::tuple<std::vector<std::string>, int, std::string, std::string, std::string> rows[] = {
        // arguments, status, output, error, the link of COM5 afterwards
        {{"map", "COM5", "/nowhere"}, 0, "COM5 -> /nowhere\n", nowhere, "/nowhere"},
        {{"map", "5", device}, 0, "COM5 -> " + device + "\n", "", device}, // replaces the first
        {{"unmap", "com5"}, 0, "COM5 unmapped: it opens /dev/ttyS4 again\n", "", ""},
        {{"unmap", "5"}, 1, "", "korvane-cli: COM5 has no link (" + LinkPath(5) + ")\n", ""},
        {{"unmap", "8"}, 1, "", "korvane-cli: " + LinkPath(8) + " is not a link; left alone\n", ""},
        {{"map", "9", device},
         1,
         "",
         "korvane-cli: cannot replace " + LinkPath(9) + ": Is a directory\n",
         ""},
        {{"map", "6", device}, 0, "COM6 -> " + device + "\n", "", ""},
        {{"map", "7", "/nowhere"}, 0, "COM7 -> /nowhere\n", nowhere, ""},
    };
    for (const auto& [args, status, out, err, link] : rows) {
        CliRun run(args);
        EXPECT_EQ(std::tuple(run.status, run.out, run.err, boardtest::LinkTarget(5)),
                  std::tuple(status, out, err, link));
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".new-"), std::string::npos)
            << "a temporary link was left";
    CliRun ports({"ports"});
    for (int com : {6, 7, 8, 9}) fs::remove_all(LinkPath(com));
    const std::vector<std::string> lines = clitest::Lines(ports.out);
    ASSERT_GE(lines.size(), 18u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.begin() + 9),
              (std::vector<std::string>{
                  "COM6    link      " + device,
                  "COM7    dangling  /nowhere (not there: plug it in or korvane-cli unmap COM7)",
                  "COM8    default   " + LinkPath(8) + " (no serial device)"}));
    EXPECT_EQ(lines[0] + lines[2].substr(0, 30) + lines[16].substr(0, 5) + lines[17].substr(0, 23),
              "COM links in " + dir +
                  " (korvane-cli map COMn PATH):COM2    default   /dev/ttyS1 (COM16Serial devices present:");
}
