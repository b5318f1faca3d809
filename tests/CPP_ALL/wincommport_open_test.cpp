// WinCommPort's refusals to open, as rows: bad devices behind the COM name and bad indices.
#include "WinCommPort.h"
#include "pty_fixture.h"

#include <climits>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum class Target { Missing, RegularFile, Directory, DanglingLink };

struct DeviceRow {
    const char* name;
    Target target;
};

class WinCommPortBadDevice : public PtyComTest, public ::testing::WithParamInterface<DeviceRow> {};

TEST_P(WinCommPortBadDevice, FailsToOpenAndLeavesTheCount) {
    int index = kIndex + 1;
    std::string file = m_configDir + "/plain";
    std::ofstream(file) << "not a terminal";
    switch (GetParam().target) {
    case Target::Missing:
        index = 200;
        break; // no entry, and no /dev/ttyS199
    case Target::RegularFile:
        Link(index, file);
        break;
    case Target::Directory:
        Link(index, m_configDir);
        break;
    case Target::DanglingLink:
        Link(index, m_configDir + "/gone");
        break;
    }
    WinCommPort port(index, 4096, 2048, 0);
    EXPECT_EQ(port.PeekError(), COMM_FAILED);
    EXPECT_EQ(g_portOpenCount[index], 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, WinCommPortBadDevice,
                         ::testing::Values(DeviceRow{"Missing", Target::Missing},
                                           DeviceRow{"RegularFile", Target::RegularFile},
                                           DeviceRow{"Directory", Target::Directory},
                                           DeviceRow{"DanglingLink", Target::DanglingLink}),
                         [](const auto& info) { return std::string(info.param.name); });

struct IndexRow {
    int index;
    bool opens;
};

class WinCommPortIndex : public PtyComTest, public ::testing::WithParamInterface<IndexRow> {};

TEST_P(WinCommPortIndex, OpensInsideTheTableOnlyAndTouchesNothingOutside) {
    const IndexRow& row = GetParam();
    // A link for every name the index could produce, so only the index check can refuse it.
    Link(row.index == INT_MAX ? 0 : row.index, m_slavePath);
    Link(-1, m_slavePath); // COM0
    {
        WinCommPort port(row.index, 4096, 2048, 0);
        EXPECT_EQ(port.PeekError(), row.opens ? 0 : COMM_IN_USE);
        if (row.opens) {
            EXPECT_EQ(g_portOpenCount[row.index], 1);
        }
    }
    for (int i = 0; i < COMM_MAX_PORTS; ++i) ASSERT_EQ(g_portOpenCount[i], 0) << i;
    WinCommPort after(kIndex, 4096, 2048, 0);
    EXPECT_EQ(after.PeekError(), 0) << "the device was left free";
}

INSTANTIATE_TEST_SUITE_P(Rows, WinCommPortIndex,
                         ::testing::Values(IndexRow{0, true}, IndexRow{15, true}, IndexRow{16, true},
                                           IndexRow{-1, false}, IndexRow{COMM_MAX_PORTS, false},
                                           IndexRow{100000, false}, IndexRow{INT_MAX, false}));

using WinCommPortPermission = PtyComTest;

// Root opens any device, so the refusal is shown by a child that gives root up.
TEST_F(WinCommPortPermission, DeviceWithoutAccessIsRefused) {
    const passwd* nobody = getpwnam("nobody");
    if (!nobody) GTEST_SKIP() << "no user 'nobody' on this machine to run without permission";
    // The pty slave belongs to root (mode 620); the link to it must stay reachable for nobody.
    chmod(m_configDir.c_str(), 0755);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(2);
        HANDLE direct =
            CreateFileA("\\\\.\\COM5", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (direct != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) _exit(3);
        WinCommPort port(kIndex, 4096, 2048, 0);
        _exit(port.PeekError() == COMM_FAILED ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "2: could not drop privileges, 3: not refused for access, 1: the port opened";
}

} // namespace
