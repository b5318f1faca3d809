// The rest of korvane-cli: COM names, usage errors, help and version, map/unmap and ports in the
// private configuration directory, and the serial devices of a made-up sysfs.
#include "args.h"
#include "cli_process.h"
#include "ports.h"

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

TEST(Usage, ErrorsExit64WithOneLineAndHelpAndVersionAnswerEverywhere) {
    const struct {
        std::vector<std::string> args;
        int status;
        const char* out; // the start of standard output
        const char* err; // the whole of standard error
    } rows[] = {
        {{}, 64, "", "korvane-cli: A subcommand is required (see korvane-cli --help)\n"},
        {{"bogus"}, 64, "", "korvane-cli: unknown command \"bogus\" (see korvane-cli --help)\n"},
        {{"f\n", "e"},
         64,
         "",
         "korvane-cli: unknown command \"f \" (see korvane-cli --help)\n"}, // still one line
        {{"probe", "3\x1b"},
         64,
         "",
         "korvane-cli: COM: wants 1 to 16, written 3 or COM3, not \"3?\" (see korvane-cli probe --help)\n"},
        {{"probe"}, 64, "", "korvane-cli: COM is required (see korvane-cli probe --help)\n"},
        {{"poll", "3", "--mode", "x"},
         64,
         "",
         "korvane-cli: --mode: wants one of dvm, tilt, not \"x\" (see korvane-cli poll --help)\n"},
        {{"poll", "3", "--count", "0"},
         64,
         "",
         "korvane-cli: --count: Value 0 not in range 1 to 1000000000 (see korvane-cli poll --help)\n"},
        {{"map", "3"}, 64, "", "korvane-cli: PATH is required (see korvane-cli map --help)\n"},
        {{"--help"}, 0, "Korvane's board and COM ports from a shell", ""},
        {{"poll", "--help"}, 0, "poll the board every 100 ms", ""},
        {{"--version"}, 0, "korvane-cli 1.0.0\n", ""},
        {{"ports", "--version"}, 0, "korvane-cli 1.0.0\n", ""},
    };
    for (const auto& row : rows) {
        CliRun run(row.args);
        SCOPED_TRACE(row.args.empty() ? "(none)" : row.args[0] + " ...");
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out.rfind(row.out, 0), 0u) << run.out;
        EXPECT_EQ(run.err, row.err);
    }
}

TEST(Links, MapAndUnmapMakeAndRemoveTheComLinkThatPortsShows) {
    const std::string device = std::string(boardtest::g_config.dir) + "/ttyUSB7";
    std::ofstream(device) << "";
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
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args.back());
        CliRun run(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(LinkTarget(5), row.link);
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(LinkPath(5)).parent_path()))
        EXPECT_EQ(entry.path().filename().string().find(".new-"), std::string::npos)
            << "a temporary link was left";
}

TEST(Links, PortsShowsWhereEachComNameLeads) {
    const std::string device = std::string(boardtest::g_config.dir) + "/ttyACM3";
    std::ofstream(device) << "";
    ASSERT_EQ(CliRun({"map", "6", device}).status, 0);
    ASSERT_EQ(CliRun({"map", "7", "/nowhere"}).status, 0);
    fs::create_directories(fs::path(LinkPath(8)).parent_path());
    std::ofstream(LinkPath(8)) << "not a link";
    CliRun unmapFile({"unmap", "8"});
    EXPECT_EQ(unmapFile.status, 1);
    EXPECT_EQ(unmapFile.err, "korvane-cli: " + LinkPath(8) + " is not a link; left alone\n");
    CliRun ports({"ports"});
    for (int com : {6, 7, 8}) fs::remove(LinkPath(com));
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
    const struct {
        const char* file;
        const char* text;
    } files[] = {{"idVendor", "0403"},
                 {"idProduct", "6001"},
                 {"manufacturer", "FTDI"},
                 {"product", "FT232R USB UART"},
                 {"serial", "A50285BI"}};
    fs::create_directories(usb / "1-2:1.0/ttyUSB0");
    for (const auto& file : files) std::ofstream(usb / file.file) << file.text << "\n";
    for (const char* name : {"ttyUSB0", "ttyS0", "ttyS1", "tty0"}) fs::create_directories(tty / name);
    fs::create_directory_symlink(usb / "1-2:1.0/ttyUSB0", tty / "ttyUSB0/device");
    std::ofstream(tty / "ttyS0/type") << "4\n";
    std::ofstream(tty / "ttyS1/type") << "0\n"; // no UART behind it
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0",
                       root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

    const std::string dev = (root / "dev").string();
    std::vector<cli::SerialDevice> devices = cli::SerialDevices(dev, (root / "sys").string());
    fs::remove_all(root);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].path, dev + "/ttyS0");
    EXPECT_EQ(devices[0].kind, "UART");
    EXPECT_TRUE(devices[0].ids.empty() && devices[0].vendorId.empty());
    const cli::SerialDevice& adapter = devices[1];
    EXPECT_EQ(adapter.path, dev + "/ttyUSB0");
    EXPECT_EQ(adapter.kind, "USB");
    EXPECT_EQ(adapter.vendorId + ":" + adapter.productId, "0403:6001");
    EXPECT_EQ(adapter.manufacturer + "|" + adapter.product + "|" + adapter.serial,
              "FTDI|FT232R USB UART|A50285BI");
    EXPECT_EQ(adapter.ids,
              std::vector<std::string>{dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"});
}
