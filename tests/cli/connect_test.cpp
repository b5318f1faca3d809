// probe and dump against the board emulator, and the open failures with what to do about them. The
// connection itself (speeds, a refused speed, silent boards) is the program's board link, tested
// with the program.
#include "cli_process.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

using clitest::CliRun;

// The whole output of probe and dump: the speed found, the port's six state lines, the messages.
TEST(Probe, ConnectsAsTheProgramDoesOrSaysWhyNot) {
    ASSERT_EQ(CliRun({"map", "4", "/nonexistent/ttyUSB9"}).status, 0);
    const std::tuple<const char*, std::vector<std::string>, int, std::string, std::string> rows[] = {
        // korvane-board's options on COM3 ("": none runs), arguments, status, output, error
        {"--tilt 1,2,3", {"probe", "com3"}, 0, "connected on COM3 at 38400 baud\n", ""},
        {"--baud 128000", {"probe", "3"}, 0, "connected on COM3 at 128000 baud\n", ""},
        {"--silent", {"probe", "COM3"}, 3, "", "No open port.\n"},
        {"",
         {"probe", "4"},
         1,
         "",
         "Could not open port.\nkorvane-cli: COM4 leads to " + boardtest::LinkPath(4) +
             ", a link to a device that is not there: is it plugged in?\n"},
        {"--tilt 1,2,3",
         {"dump", "COM3"},
         0,
         "Port type: MS Win32  BaudRate: 38400   ByteSize: 8  Parity: 0\nStopBits: 0  fBinary: 1  "
         "fRtsControl: 1\n"
         "Parity: 0  OutCtsFlow: 0  OutDsrFlow: 0  DtrControl: 1  OutX: 0  InX: 0\n"
         "Null: 0  XonChar: 11  XoffChar: 13\nXonLim: 1024  XoffLim: 128   EofChr: 00  EvtChr: 00\n"
         "RX sz/ct:  4096/0      TX sz/ct:  2048/0      BLOCK SENT:0  BLOCK RECEIVED:0\n",
         ""},
    };
    for (const auto& [board, args, status, out, err] : rows) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        std::unique_ptr<boardtest::BoardProcess> running(
            *board ? new boardtest::BoardProcess("--com 3 " + std::string(board)) : nullptr);
        ASSERT_TRUE(!running || running->Ready());
        CliRun run(args);
        EXPECT_EQ(std::tuple(run.status, run.out, run.err), std::tuple(status, out, err));
    }
    std::filesystem::remove(boardtest::LinkPath(4));
}

// Root opens any device, so the hint is shown to korvane-cli run as "nobody" (setpriv) with the link
// in a directory of its own.
TEST(Probe, ADeviceWithoutPermissionNamesTheGroupToJoin) {
    const passwd* nobody = getpwnam("nobody");
    if (!nobody) GTEST_SKIP() << "no user 'nobody' on this machine to run without permission";
    char dir[] = "/tmp/korvane-cli-test-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string root = dir, device = root + "/ttyUSB0";
    std::ofstream(device) << "";
    const group* dialout = getgrnam("dialout");
    ASSERT_EQ(chmod(dir, 0755) + chmod(device.c_str(), 0660) +
                  chown(device.c_str(), 0, dialout ? dialout->gr_gid : 0),
              0);
    std::filesystem::create_directories(root + "/korvane/devices");
    std::filesystem::create_symlink(device, root + "/korvane/devices/COM7");
    std::FILE* pipe = popen(
        ("XDG_CONFIG_HOME=" + root + " timeout -s KILL 20 setpriv --reuid=" + std::to_string(nobody->pw_uid) +
         " --regid=" + std::to_string(nobody->pw_gid) + " --clear-groups " KORVANE_CLI_PATH " probe 7 2>&1")
            .c_str(),
        "r");
    std::string text(4096, '\0');
    text.resize(pipe ? std::fread(text.data(), 1, text.size(), pipe) : 0);
    const int raw = pipe ? pclose(pipe) : -1;
    std::filesystem::remove_all(root);
    EXPECT_EQ(
        std::tuple(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text),
        std::tuple(
            1,
            "Could not open port.\nkorvane-cli: no permission for " + device +
                ": add yourself to the dialout group (sudo usermod -aG dialout $USER) and log in again\n"));
}
