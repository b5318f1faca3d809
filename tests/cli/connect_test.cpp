// probe and dump against the board emulator, the open failures with what to do about them, and a
// speed the port refuses (an in-memory line, in-process).
#include "cli.h"
#include "cli_process.h"

#include "BoardLink.h"
#include "fake_serial_posix.h"

#include <grp.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

using boardtest::BoardProcess;
using clitest::CliRun;
using clitest::Lines;

namespace {

// korvane-board on COM3 with `args`, ready.
struct Board : BoardProcess {
    explicit Board(const std::string& args) : BoardProcess("--com 3 " + args) { EXPECT_TRUE(Ready()); }
};

// Runs korvane-cli in this process (so that an installed in-memory line serves the port).
int RunHere(const std::vector<const char*>& args, std::string* out, std::string* err) {
    std::vector<const char*> argv{"korvane-cli"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::FILE* files[2] = {std::tmpfile(), std::tmpfile()};
    int status = cli::RunCli(static_cast<int>(argv.size()), argv.data(), files[0], files[1]);
    std::string* into[2] = {out, err};
    for (int i = 0; i < 2; ++i) {
        char chunk[1024];
        std::rewind(files[i]);
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, files[i])) > 0;)
            into[i]->append(chunk, got);
        std::fclose(files[i]);
    }
    return status;
}

std::string Map(int com, const std::string& target) {
    CliRun map({"map", std::to_string(com), target});
    EXPECT_EQ(map.status, 0) << map.err();
    return target;
}

} // namespace

TEST(Probe, ConnectsAsTheProgramDoesOrSaysWhyNot) {
    const std::string gone = Map(4, "/nonexistent/ttyUSB9");
    const struct {
        const char* board; // korvane-board's options on COM3; nullptr: none runs
        const char* com;
        int status;
        std::string out, err;
    } rows[] = {
        {"--tilt 1,2,3", "3", 0, "connected on COM3 at 38400 baud\n", ""},
        {"--baud 128000", "com3", 0, "connected on COM3 at 128000 baud\n", ""},
        {"--silent", "COM3", 3, "", "No open port.\n"},
        {nullptr, "COM4", 1, "",
         "Could not open port.\nkorvane-cli: COM4 leads to " + boardtest::LinkPath(4) +
             ", a link to a device that is not there: is it plugged in?\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.board ? row.board : row.com);
        std::unique_ptr<Board> board(row.board ? new Board(row.board) : nullptr);
        CliRun probe({"probe", row.com});
        EXPECT_EQ(probe.status, row.status);
        EXPECT_EQ(probe.out(), row.out);
        EXPECT_EQ(probe.err(), row.err);
    }
    std::filesystem::remove(boardtest::LinkPath(4));
}

// A driver that refuses 38400 baud; the connection's 9600 and everything else pass.
struct RefusingLine : win32posix::FakeSerialLine {
    int SetSettings(const win32posix::LineSettings& wanted) override {
        return wanted.baud == 38400 ? EINVAL : FakeSerialLine::SetSettings(wanted);
    }
};

TEST(Probe, ARefusedSpeedIsReportedWithItsOwnStatus) {
    RefusingLine line;
    ASSERT_TRUE(win32posix::InstallSerialLine(9, &line));
    std::string out, err;
    EXPECT_EQ(RunHere({"probe", "COM9"}, &out, &err), CONNECT_BAUD_FAILED);
    win32posix::InstallSerialLine(9, nullptr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "Could not set baud rate.\n");
    EXPECT_EQ(line.sent, "") << "no probe at a speed the port refused";
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
    CliRun probe({"probe", "7"}, nobody);
    setenv("XDG_CONFIG_HOME", boardtest::g_config.dir, 1);
    std::filesystem::remove_all(root);
    EXPECT_EQ(probe.status, 1) << "120: could not drop privileges";
    EXPECT_EQ(probe.err(),
              "Could not open port.\nkorvane-cli: no permission for " + device +
                  ": add yourself to the dialout group (sudo usermod -aG dialout $USER) and log in "
                  "again\n");
}

TEST(Dump, PrintsThePortsSixLinesAfterConnectingAsTheProgramDoes) {
    Board board("--tilt 1,2,3");
    CliRun dump({"dump", "COM3"});
    EXPECT_EQ(dump.status, 0) << dump.err();
    const std::vector<std::string> lines = Lines(dump.out());
    ASSERT_EQ(lines.size(), 6u) << dump.out();
    EXPECT_EQ(lines[0], "Port type: MS Win32  BaudRate: 38400   ByteSize: 8  Parity: 0");
    EXPECT_EQ(lines[5], "RX sz/ct:  4096/0      TX sz/ct:  2048/0      BLOCK SENT:0  BLOCK RECEIVED:0");
    EXPECT_EQ(dump.err(), "");
}
