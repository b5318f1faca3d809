// probe and dump against the board emulator, and the open failures with what to do about them. The
// connection itself (speeds, a refused speed, silent boards) is the program's board link, tested
// with the program.
#include "cli_process.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

using boardtest::BoardProcess;
using clitest::CliRun;

namespace {

// Runs korvane-cli's code in a child that gives root up for `user`: the exit status (120: it could
// not) and standard error.
std::pair<int, std::string> RunAs(const passwd* user, std::vector<const char*> argv) {
    std::FILE* err = std::tmpfile();
    pid_t child = fork();
    if (child == 0) {
        alarm(20); // a child that hangs dies on its own
        if (setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0) _exit(120);
        const int status = cli::RunCli(static_cast<int>(argv.size()), argv.data(), stdout, err);
        std::fflush(nullptr);
        _exit(status);
    }
    int raw = -1;
    waitpid(child, &raw, 0);
    std::string text(4096, '\0');
    std::rewind(err);
    text.resize(std::fread(text.data(), 1, text.size(), err));
    std::fclose(err);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text};
}

} // namespace

TEST(Probe, ConnectsAsTheProgramDoesOrSaysWhyNot) {
    ASSERT_EQ(CliRun({"map", "4", "/nonexistent/ttyUSB9"}).status, 0);
    const struct {
        const char* board; // korvane-board's options on COM3; nullptr: none runs
        const char* com;
        int status;
        std::string out, err;
    } rows[] = {
        {"--tilt 1,2,3", "com3", 0, "connected on COM3 at 38400 baud\n", ""},
        {"--baud 128000", "3", 0, "connected on COM3 at 128000 baud\n", ""},
        {"--silent", "COM3", 3, "", "No open port.\n"},
        {nullptr, "4", 1, "",
         "Could not open port.\nkorvane-cli: COM4 leads to " + boardtest::LinkPath(4) +
             ", a link to a device that is not there: is it plugged in?\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.com);
        std::unique_ptr<BoardProcess> board(row.board ? new BoardProcess("--com 3 " + std::string(row.board))
                                                      : nullptr);
        ASSERT_TRUE(!board || board->Ready());
        CliRun probe({"probe", row.com});
        EXPECT_EQ(probe.status, row.status);
        EXPECT_EQ(probe.out, row.out);
        EXPECT_EQ(probe.err, row.err);
    }
    std::filesystem::remove(boardtest::LinkPath(4));
}

// Root opens any device, so the hint is shown by a child that gives root up.
TEST(Probe, ADeviceWithoutPermissionNamesTheGroupToJoin) {
    const passwd* nobody = getpwnam("nobody");
    if (!nobody) GTEST_SKIP() << "no user 'nobody' on this machine to run without permission";
    char dir[] = "/tmp/korvane-cli-test-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string root = dir, device = root + "/ttyUSB0";
    std::ofstream(device) << "";
    chmod(dir, 0755);
    ASSERT_EQ(chmod(device.c_str(), 0660), 0);
    const group* dialout = getgrnam("dialout");
    ASSERT_EQ(chown(device.c_str(), 0, dialout ? dialout->gr_gid : 0), 0);
    std::filesystem::create_directories(root + "/korvane/devices");
    std::filesystem::create_symlink(device, root + "/korvane/devices/COM7");
    setenv("XDG_CONFIG_HOME", dir, 1); // for the child only: restored below
    const auto [status, err] = RunAs(nobody, {"korvane-cli", "probe", "7"});
    setenv("XDG_CONFIG_HOME", boardtest::g_config.dir, 1);
    std::filesystem::remove_all(root);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "Could not open port.\nkorvane-cli: no permission for " + device +
                       ": add yourself to the dialout group (sudo usermod -aG dialout $USER) and log in "
                       "again\n");
}

TEST(Dump, PrintsThePortsSixLinesAfterConnectingAsTheProgramDoes) {
    BoardProcess board("--com 3 --tilt 1,2,3");
    ASSERT_TRUE(board.Ready());
    CliRun dump({"dump", "COM3"});
    EXPECT_EQ(dump.status, 0) << dump.err;
    const std::vector<std::string> lines = clitest::Lines(dump.out);
    ASSERT_EQ(lines.size(), 6u) << dump.out;
    EXPECT_EQ(lines[0], "Port type: MS Win32  BaudRate: 38400   ByteSize: 8  Parity: 0");
    EXPECT_EQ(dump.err, "");
}
