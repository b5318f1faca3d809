// COM names, the device directory and the errno table of the serial stand-in.
#include "serial_line_posix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

struct ErrnoRow {
    int error;
    DWORD windows;
};

class ErrnoTable : public ::testing::TestWithParam<ErrnoRow> {};

TEST_P(ErrnoTable, MapsToTheWindowsError) {
    EXPECT_EQ(win32posix::WindowsErrorFromErrno(GetParam().error), GetParam().windows)
        << std::strerror(GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Rows, ErrnoTable,
                         ::testing::Values(ErrnoRow{ENOENT, 2}, ErrnoRow{EACCES, 5}, ErrnoRow{EPERM, 5},
                                           ErrnoRow{EWOULDBLOCK, 5}, ErrnoRow{EBUSY, 5}, ErrnoRow{EISDIR, 5},
                                           ErrnoRow{ENOTTY, 1}, ErrnoRow{EINVAL, 87}, ErrnoRow{EBADF, 6},
                                           ErrnoRow{ENOMEM, 8}, ErrnoRow{EIO, 31}, ErrnoRow{ENXIO, 1167},
                                           ErrnoRow{EMFILE, 4}, ErrnoRow{EDOM, 31}));

struct NameRow {
    const char* name;
    int number;
};

class ComNames : public ::testing::TestWithParam<NameRow> {};

TEST_P(ComNames, GiveTheComNumber) {
    EXPECT_EQ(win32posix::ComNumberOf(GetParam().name), GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(Rows, ComNames,
                         ::testing::Values(NameRow{"\\\\.\\COM1", 1}, NameRow{"\\\\.\\COM10", 10},
                                           NameRow{"COM3", 3}, NameRow{"com7", 7}, NameRow{"\\\\.\\COM0", 0},
                                           NameRow{"COM", 0}, NameRow{"COM1x", 0}, NameRow{"COM-1", 0},
                                           NameRow{"/dev/ttyS0", 0}, NameRow{"COM12345678901", 0},
                                           NameRow{nullptr, 0}));

// Runs with XDG_CONFIG_HOME and HOME set as given and puts them back afterwards.
class DeviceDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        char pattern[] = "/tmp/korvane-names-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) {
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
        }
        std::filesystem::remove_all(m_dir);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
    std::string m_dir;
};

TEST_F(DeviceDirectory, LinkInTheConfigDirectoryWinsOverTtyS) {
    setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
    EXPECT_EQ(win32posix::ComDevicePath(3), "/dev/ttyS2");
    std::filesystem::create_directories(m_dir + "/korvane/devices");
    std::filesystem::create_symlink("/nowhere", m_dir + "/korvane/devices/COM3");
    EXPECT_EQ(win32posix::ComDevicePath(3), m_dir + "/korvane/devices/COM3")
        << "a dangling link still counts";
    EXPECT_EQ(win32posix::ComDevicePath(4), "/dev/ttyS3");
}

TEST_F(DeviceDirectory, DefaultsToDotConfigUnderHome) {
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", m_dir.c_str(), 1);
    EXPECT_EQ(win32posix::ComDeviceDirectory(), m_dir + "/.config/korvane/devices");
    setenv("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ(win32posix::ComDeviceDirectory(), m_dir + "/.config/korvane/devices");
}

TEST(Wsprintf, WritesAtMost1024Bytes) {
    char buffer[1100];
    std::memset(buffer, '#', sizeof buffer);
    std::string wide(2000, 'w');
    EXPECT_EQ(wsprintfA(buffer, "%s", wide.c_str()), 1023);
    EXPECT_EQ(buffer[1023], '\0');
    EXPECT_EQ(buffer[1024], '#');
    EXPECT_EQ(wsprintfA(buffer, "\\\\.\\COM%d", 10), 9);
    EXPECT_STREQ(buffer, "\\\\.\\COM10");
}

} // namespace
