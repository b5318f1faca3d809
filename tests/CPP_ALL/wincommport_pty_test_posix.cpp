// WinCommPort over a real pseudo-terminal whose other end the test holds, opened through the
// COM-number device directory, and its refusals to open: bad devices behind the COM name, a
// device held by another process, no permission, bad indices.
#include "WinCommPort.h"
#include "pty_posix.h"
#include "termios2_posix.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A pty pair mapped as COM5 through a private XDG_CONFIG_HOME (nothing else in this executable
// reads it): the test talks to the master side, the port opens the slave.
class WinCommPortPty : public ::testing::Test {
protected:
    static constexpr int kIndex = 4;
    void SetUp() override {
        ASSERT_NE(mkdtemp(m_dir.data()), nullptr);
        std::filesystem::create_directories(m_dir + "/korvane/devices");
        setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
        m_master = pty::OpenMaster(&m_slave);
        ASSERT_GE(m_master, 0);
        Link(kIndex, m_slave);
    }
    void TearDown() override {
        if (m_master >= 0) close(m_master);
        std::filesystem::remove_all(m_dir);
    }
    // Makes COM<index + 1> a link to `target` (which need not exist).
    void Link(int index, const std::string& target) const {
        std::string link = m_dir + "/korvane/devices/COM" + std::to_string(index + 1);
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target, link);
    }
    // What the master received within two seconds.
    std::string MasterRead() const {
        pollfd wanted{m_master, POLLIN, 0};
        char chunk[64];
        ssize_t n = poll(&wanted, 1, 2000) == 1 ? read(m_master, chunk, sizeof chunk) : 0;
        return std::string(chunk, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    // Waits until the port has `count` bytes queued, for at most two seconds.
    static void WaitQueued(WinCommPort* port, int count) {
        PortStatus status{};
        for (DWORD start = GetTickCount(); GetTickCount() - start < 2000; Sleep(1)) {
            port->GetStatus(&status, 1);
            if (status.rxCount >= count) return;
        }
    }
    std::string m_dir = "/tmp/korvane-pty-XXXXXX";
    std::string m_slave;
    int m_master = -1;
};

// Reading with nothing queued, purging and the board's replies are shown against korvane-board
// in wincommport_board_test.cpp, on Windows too; this is what only the pty's own end can see.
TEST_F(WinCommPortPty, OpensConfiguresReadsAndWritesThroughTheComMapping) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.PeekError(), 0);
    ASSERT_EQ(port.SetSettings(128000, 'N', 8, 1), 0);
    uint32_t speed = 0;
    ASSERT_TRUE(tty2::GetSpeed(m_master, &speed));
    EXPECT_EQ(speed, 128000u);

    char buffer[8];
    EXPECT_EQ(port.WriteString("ping"), 4);
    EXPECT_EQ(MasterRead(), "ping");
    ASSERT_EQ(write(m_master, "pong", 4), 4);
    WaitQueued(&port, 4);
    ASSERT_EQ(port.Read(buffer, sizeof buffer), 4u);
    EXPECT_EQ(std::string(buffer, 4), "pong");
    ASSERT_EQ(write(m_master, "0123456789", 10), 10);
    WaitQueued(&port, 10);
    EXPECT_EQ(port.Purge(0, 5), COMM_FAILED); // five reads all delivered a byte
    EXPECT_EQ(port.ReadByte(), '5') << "exactly five were dropped";
    EXPECT_EQ(port.Purge(0, 0), 0);
    EXPECT_EQ(port.ReadByte(), COMM_NO_DATA);
}

TEST_F(WinCommPortPty, SecondOpenIsRefusedAndTheFirstKeepsWorking) {
    Link(kIndex + 1, m_slave); // the same pty as COM6
    WinCommPort first(kIndex, 4096, 2048, 0);
    ASSERT_EQ(first.PeekError(), 0);
    EXPECT_EQ(WinCommPort(kIndex, 4096, 2048, 0).PeekError(), COMM_IN_USE);
    EXPECT_EQ(WinCommPort(kIndex + 1, 4096, 2048, 0).PeekError(), COMM_FAILED) << "held via another name";
    EXPECT_EQ(g_portOpenCount[kIndex + 1], 0);
    EXPECT_EQ(g_portOpenCount[kIndex], 1);
    EXPECT_EQ(first.WriteByte('k'), 0);
    EXPECT_EQ(MasterRead(), "k");

    pid_t child = fork(); // another process (its own count table) cannot have the device either
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(10);
        _exit(WinCommPort(kIndex + 1, 4096, 2048, 0).PeekError() == COMM_FAILED ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "the other process opened the device or hung";
}

TEST_F(WinCommPortPty, MasterClosingMidRunNeitherHangsNorCrashes) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.PeekError(), 0);
    close(m_master);
    m_master = -1;
    char buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(port.Write("lost", 4), 0u);
    EXPECT_EQ(port.TakeError(), COMM_SHORT_WRITE);
    PortStatus status{};
    port.GetStatus(&status, 7);
    EXPECT_EQ(status.rxCount, 0);
    EXPECT_EQ(status.txCount, 0);
    EXPECT_EQ(port.Purge(0, -1), 0);
}

// Root opens any device, so the refusal is shown by a child that gives root up.
TEST_F(WinCommPortPty, DeviceWithoutAccessIsRefused) {
    const passwd* nobody = getpwnam("nobody");
    if (!nobody) GTEST_SKIP() << "no user 'nobody' on this machine to run without permission";
    chmod(m_dir.c_str(), 0755); // the slave stays root's (mode 620); the link must stay reachable
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(10);
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(2);
        _exit(WinCommPort(kIndex, 4096, 2048, 0).PeekError() == COMM_FAILED ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "exit 2: could not drop privileges, 1: the port opened";
}

TEST_F(WinCommPortPty, BadDevicesAreRefusedWithAWindowsErrorAndLeaveTheCount) {
    std::ofstream(m_dir + "/plain") << "not a terminal";
    const struct {
        const char* target; // under the configuration directory; nullptr: no link, and no /dev/ttyS2xx
        DWORD error;
    } rows[] = {{nullptr, ERROR_FILE_NOT_FOUND},
                {"/plain", ERROR_INVALID_FUNCTION},
                {"", ERROR_ACCESS_DENIED},
                {"/gone", ERROR_FILE_NOT_FOUND}};
    int index = 200;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.target ? row.target : "no device");
        if (row.target) Link(++index, m_dir + row.target);
        std::string name = "\\\\.\\COM" + std::to_string(index + 1);
        EXPECT_EQ(
            CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(WinCommPort(index, 4096, 2048, 0).PeekError(), COMM_FAILED);
        EXPECT_EQ(g_portOpenCount[index], 0);
    }
}

// Every name an index could produce links to the pty, so only the index check can refuse it.
TEST_F(WinCommPortPty, OpensInsideTheCountTableOnlyAndTouchesNothingOutside) {
    const std::pair<int, bool> rows[] = {
        {0, true},       {15, true},      {16, true}, {-1, false}, {COMM_MAX_PORTS, false},
        {100000, false}, {INT_MAX, false}};
    Link(-1, m_slave); // COM0
    for (const auto& [index, opens] : rows) {
        SCOPED_TRACE(index);
        Link(index == INT_MAX ? 0 : index, m_slave);
        {
            WinCommPort port(index, 4096, 2048, 0);
            EXPECT_EQ(port.PeekError(), opens ? 0 : COMM_IN_USE);
            if (opens) {
                EXPECT_EQ(g_portOpenCount[index], 1);
            }
        }
        for (int i = 0; i < COMM_MAX_PORTS; ++i) ASSERT_EQ(g_portOpenCount[i], 0) << i;
        EXPECT_EQ(WinCommPort(kIndex, 4096, 2048, 0).PeekError(), 0) << "the device was left free";
    }
}

} // namespace
