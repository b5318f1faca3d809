// COM names, the device directory and the errno table of the serial stand-in.
#include "serial_line_posix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

TEST(SerialNames, ErrnoValuesMapToWindowsErrors) {
    const std::pair<int, DWORD> rows[] = {{ENOENT, 2},   {EACCES, 5},  {EBUSY, 5},
                                          {ENOTTY, 1},   {EINVAL, 87}, {EIO, 31},
                                          {ENXIO, 1167}, {EDOM, 31},   {EINPROGRESS, 997}};
    for (const auto& [error, windows] : rows)
        EXPECT_EQ(win32posix::WindowsErrorFromErrno(error), windows) << std::strerror(error);
}

TEST(SerialNames, ComNamesGiveTheirNumberAndAnythingElseZero) {
    const std::pair<const char*, int> rows[] = {
        {"\\\\.\\COM1", 1}, {"\\\\.\\COM10", 10}, {"com7", 7},           {"\\\\.\\COM0", 0},
        {"COM1x", 0},       {"/dev/ttyS0", 0},    {"COM12345678901", 0}, {nullptr, 0}};
    for (const auto& [name, number] : rows) EXPECT_EQ(win32posix::ComNumberOf(name), number) << name;
}

// The links live under XDG_CONFIG_HOME, else ~/.config; HOME and XDG_CONFIG_HOME are put back.
TEST(SerialNames, LinkInTheDeviceDirectoryWinsOverTtyS) {
    const char* names[] = {"XDG_CONFIG_HOME", "HOME"};
    std::string saved[2], dir = "/tmp/korvane-names-XXXXXX";
    for (int i = 0; i < 2; ++i) saved[i] = std::getenv(names[i]) ? std::getenv(names[i]) : "";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    EXPECT_EQ(win32posix::ComDevicePath(3), "/dev/ttyS2");
    std::filesystem::create_directories(dir + "/korvane/devices");
    std::filesystem::create_symlink("/nowhere", dir + "/korvane/devices/COM3");
    EXPECT_EQ(std::tuple(win32posix::ComDevicePath(3), win32posix::ComDevicePath(4)),
              std::tuple(dir + "/korvane/devices/COM3", "/dev/ttyS3"))
        << "a dangling link still counts";
    setenv("HOME", dir.c_str(), 1);
    for (const char* config : {static_cast<const char*>(nullptr), "relative/path"}) {
        config ? setenv("XDG_CONFIG_HOME", config, 1) : unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(win32posix::ComDeviceDirectory(), dir + "/.config/korvane/devices");
    }
    std::filesystem::remove_all(dir);
    for (int i = 0; i < 2; ++i) saved[i].empty() ? unsetenv(names[i]) : setenv(names[i], saved[i].c_str(), 1);
}

} // namespace
