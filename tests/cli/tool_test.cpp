// The rest of korvane-cli: COM names, usage errors, help and version, map/unmap and ports in the
// private configuration directory, and the serial devices of a made-up sysfs.
#include "args.h"
#include "cli_process.h"
#include "ports_posix.h"

#include <filesystem>
#include <fstream>

using boardtest::LinkPath;
using boardtest::LinkTarget;
using clitest::CliRun;
using clitest::Lines;
namespace fs = std::filesystem;

TEST(Args, ComNumbersAreWrittenWithOrWithoutComInAnyCase) {
    const struct {
        const char* text;
        int com;
    } rows[] = {{"3", 3},  {"COM3", 3},  {"com16", 16}, {"Com1", 1},       {"0", 0},
                {"17", 0}, {"COM17", 0}, {"COM", 0},    {"03", 0},         {"3x", 0},
                {"", 0},   {"COM-1", 0}, {"COM 3", 0},  {"\\\\.\\COM3", 0}};
    for (const auto& row : rows) EXPECT_EQ(cli::ParseComNumber(row.text), row.com) << row.text;
}

// A usage error is one line naming the help to read: that of the command when one was recognised.
TEST(Usage, ErrorsExit64WithOneLineAndHelpAndVersionAnswerEverywhere) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string text; // status 64: the error; 0: the start of standard output
    } rows[] = {
        {{}, 64, "A subcommand is required"},
        {{"bogus"}, 64, "unknown command \"bogus\""},
        {{"f\n", "e"}, 64, "unknown command \"f \""}, // still one line
        {{"probe", "3\x1b"}, 64, "COM: wants 1 to 16, written 3 or COM3, not \"3?\""},
        {{"poll", "3", "--mode", "x"}, 64, "--mode: wants one of dvm, tilt, not \"x\""},
        {{"poll", "3", "--fast", "--interval", "0"}, 64, "--interval: Value 0 not in range 1 to 3600000"},
        {{"poll", "3", "--count", "0"}, 64, "--count: Value 0 not in range 1 to 1000000000"},
        {{"map", "3"}, 64, "PATH is required"},
        {{"--help"}, 0, "Korvane's board and COM ports from a shell"},
        {{"poll", "--help"}, 0, "poll the board every 100 ms"},
        {{"--version"}, 0, "korvane-cli 1.0.0\n"},
        {{"ports", "--version"}, 0, "korvane-cli 1.0.0\n"},
    };
    for (const auto& row : rows) {
        CliRun run(row.args);
        SCOPED_TRACE(row.args.empty() ? "(none)" : row.args[0] + " ...");
        const bool command =
            !row.args.empty() && std::string("probe poll map").find(row.args[0]) != std::string::npos;
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out.rfind(row.status ? "" : row.text, 0), 0u) << run.out;
        EXPECT_EQ(run.err, row.status ? "korvane-cli: " + row.text + " (see korvane-cli " +
                                            (command ? row.args[0] + " " : "") + "--help)\n"
                                      : "");
    }
}

// map and unmap make and remove the COM link (by a temporary link renamed over it), and ports shows
// where each COM name leads.
TEST(Links, MapAndUnmapMakeAndRemoveTheComLinkThatPortsShows) {
    const std::string device = std::string(boardtest::g_config.dir) + "/ttyUSB7";
    std::ofstream(device) << "";
    fs::create_directories(fs::path(LinkPath(8)).parent_path());
    std::ofstream(LinkPath(8)) << "not a link";
    fs::create_directories(LinkPath(9) + "/in-the-way");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;
        std::string link; // the link of COM5 afterwards; empty: none
    } rows[] = {
        {{"map", "COM5", "/nowhere"},
         0,
         "COM5 -> /nowhere\n",
         "korvane-cli: warning: /nowhere does not exist (yet)\n",
         "/nowhere"},
        {{"map", "5", device}, 0, "COM5 -> " + device + "\n", "", device}, // replaces the first
        {{"unmap", "com5"}, 0, "COM5 unmapped: it opens /dev/ttyS4 again\n", "", ""},
        {{"unmap", "5"}, 1, "", "korvane-cli: COM5 has no link (" + LinkPath(5) + ")\n", ""},
        {{"unmap", "8"}, 1, "", "korvane-cli: " + LinkPath(8) + " is not a link; left alone\n", ""},
        {{"map", "6", device}, 0, "COM6 -> " + device + "\n", "", ""},
        {{"map", "9", device},
         1,
         "",
         "korvane-cli: cannot replace " + LinkPath(9) + ": Is a directory\n",
         ""},
        {{"map", "7", "/nowhere"},
         0,
         "COM7 -> /nowhere\n",
         "korvane-cli: warning: /nowhere does not exist (yet)\n",
         ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[1]);
        CliRun run(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(LinkTarget(5), row.link);
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(LinkPath(5)).parent_path()))
        EXPECT_EQ(entry.path().filename().string().find(".new-"), std::string::npos)
            << "a temporary link was left";
    CliRun ports({"ports"});
    for (int com : {6, 7, 8, 9}) fs::remove_all(LinkPath(com));
    EXPECT_EQ(ports.status, 0);
    std::vector<std::string> lines = Lines(ports.out);
    ASSERT_GE(lines.size(), 18u);
    EXPECT_EQ(lines[0], "COM links in " + fs::path(LinkPath(1)).parent_path().string() +
                            " (korvane-cli map COMn PATH):");
    for (int com = 1; com <= 16; ++com) EXPECT_EQ(lines[com].rfind("COM" + std::to_string(com) + " ", 0), 0u);
    EXPECT_EQ(lines[6], "COM6    link      " + device);
    EXPECT_EQ(lines[7], "COM7    dangling  /nowhere (not there: plug it in or korvane-cli unmap COM7)");
    EXPECT_EQ(lines[8], "COM8    default   " + LinkPath(8) + " (no serial device)");
    EXPECT_EQ(lines[2].rfind("COM2    default   /dev/ttyS1 (", 0), 0u);
    EXPECT_EQ(lines[17].rfind("Serial devices present:", 0), 0u);
}

TEST(Ports, SerialDevicesComeFromSysfsWithTheirUsbDescriptionAndByIdNames) {
    const fs::path root = fs::path(boardtest::g_config.dir) / "machine";
    const fs::path usb = root / "sys/devices/pci0/usb1/1-2", tty = root / "sys/class/tty";
    fs::create_directories(usb / "1-2:1.0/ttyUSB0");
    for (auto [file, text] : {std::pair{"idVendor", "0403"},
                              {"idProduct", "6001"},
                              {"manufacturer", "FTDI"},
                              {"product", "FT232R USB UART"},
                              {"serial", "A50285BI"}})
        std::ofstream(usb / file) << text << "\n";
    for (const char* name : {"ttyUSB0", "ttyS0", "ttyS1", "tty0"}) fs::create_directories(tty / name);
    fs::create_directory_symlink(usb / "1-2:1.0/ttyUSB0", tty / "ttyUSB0/device");
    std::ofstream(usb / "1-2:1.0/ttyUSB0/latency_timer") << "16\n";
    std::ofstream(tty / "ttyS0/type") << "4\n";
    std::ofstream(tty / "ttyS1/type") << "0\n"; // no UART behind it
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0",
                       root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

    const std::string dev = (root / "dev").string();
    std::vector<cli::SerialDevice> devices = cli::SerialDevices(dev, (root / "sys").string());
    fs::remove_all(root);
    std::string found; // each device: path, kind, USB ids and texts, by-id names
    for (const cli::SerialDevice& d : devices) {
        found += d.path + " " + d.kind + " " + d.vendorId + ":" + d.productId + " " + d.manufacturer + "|" +
                 d.product + "|" + d.serial + "|" + d.latencyTimer;
        for (const std::string& id : d.ids) found += " " + id;
        found += "\n";
    }
    EXPECT_EQ(found, dev + "/ttyS0 UART : |||\n" + dev +
                         "/ttyUSB0 USB 0403:6001 FTDI|FT232R USB UART|A50285BI|16 " + dev +
                         "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n");
}
