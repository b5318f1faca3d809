// WinCommPort over a real pseudo-terminal, opened through the COM-number device directory.
#include "WinCommPort.h"
#include "pty_fixture.h"
#include "termios2_posix.h"

#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using WinCommPortPty = PtyComTest;

TEST_F(WinCommPortPty, OpensConfiguresAndTalksThroughTheComMapping) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.PeekError(), 0);
    EXPECT_EQ(g_portOpenCount[kIndex], 1);
    int baud = 0, dataBits = 0, stopBits = 0;
    char parity = 0;
    port.GetSettings(&baud, &parity, &dataBits, &stopBits);
    EXPECT_EQ(baud, 19200);
    EXPECT_EQ(parity, 'N');
    EXPECT_EQ(dataBits, 8);
    EXPECT_EQ(stopBits, 1);

    EXPECT_EQ(port.WriteString("ping"), 4);
    EXPECT_EQ(MasterRead(4, 2000), "ping");
    ASSERT_TRUE(MasterWrite("pong"));
    WaitQueued(&port, 4, 2000);
    char buffer[8] = {};
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 4u);
    EXPECT_EQ(std::string(buffer, 4), "pong");
}

TEST_F(WinCommPortPty, CustomRateIsVisibleOnTheMaster) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.PeekError(), 0);
    ASSERT_EQ(port.SetSettings(128000, 'N', 8, 1), 0);
    uint32_t speed = 0;
    ASSERT_TRUE(tty2::GetSpeed(m_master, &speed));
    EXPECT_EQ(speed, 128000u);
}

TEST_F(WinCommPortPty, ReadWithNothingQueuedGivesNothing) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.PeekError(), 0);
    char buffer[4];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(port.ReadByte(), COMM_NO_DATA);
    EXPECT_EQ(port.PeekError(), 0);
}

TEST_F(WinCommPortPty, PurgeDropsWhatWasReceived) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.PeekError(), 0);
    ASSERT_TRUE(MasterWrite("0123456789"));
    WaitQueued(&port, 10, 2000);
    EXPECT_EQ(port.Purge(0, 5), COMM_FAILED); // five reads all delivered a byte
    EXPECT_EQ(port.Purge(0, 0), 0);
    PortStatus status{};
    port.GetStatus(&status, 7);
    EXPECT_EQ(status.rxCount, 0);
    ASSERT_TRUE(MasterWrite("ab"));
    WaitQueued(&port, 2, 2000);
    EXPECT_EQ(port.Purge(0, 5), 0);
    EXPECT_EQ(port.ReadByte(), COMM_NO_DATA);
}

TEST_F(WinCommPortPty, SecondPortForTheSameIndexIsRefusedAndTheFirstKeepsWorking) {
    WinCommPort first(kIndex, 4096, 2048, 0);
    ASSERT_EQ(first.PeekError(), 0);
    {
        WinCommPort second(kIndex, 4096, 2048, 0);
        EXPECT_EQ(second.PeekError(), COMM_IN_USE);
    }
    EXPECT_EQ(g_portOpenCount[kIndex], 1);
    EXPECT_EQ(first.WriteByte('k'), 0);
    EXPECT_EQ(MasterRead(1, 2000), "k");
}

TEST_F(WinCommPortPty, DeviceHeldThroughAnotherNameIsRefused) {
    Link(kIndex + 1, m_slavePath); // the same pty as COM7
    WinCommPort first(kIndex, 4096, 2048, 0);
    ASSERT_EQ(first.PeekError(), 0);
    WinCommPort other(kIndex + 1, 4096, 2048, 0);
    EXPECT_EQ(other.PeekError(), COMM_FAILED);
    EXPECT_EQ(g_portOpenCount[kIndex + 1], 0);
}

TEST_F(WinCommPortPty, DeviceHeldByAnotherProcessIsRefused) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        WinCommPort holder(kIndex, 4096, 2048, 0);
        char state = holder.PeekError() == 0 ? 'y' : 'n';
        (void)!write(ready[1], &state, 1);
        pause(); // holds the device until the parent ends it
        _exit(0);
    }
    char state = 0;
    ASSERT_EQ(read(ready[0], &state, 1), 1);
    ASSERT_EQ(state, 'y');
    WinCommPort port(kIndex, 4096, 2048, 0);
    EXPECT_EQ(port.PeekError(), COMM_FAILED);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
}

TEST_F(WinCommPortPty, MasterClosingMidRunNeitherHangsNorCrashes) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.PeekError(), 0);
    CloseMaster();
    char buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(port.ReadByte(), COMM_NO_DATA);
    EXPECT_EQ(port.Write("lost", 4), 0u);
    EXPECT_EQ(port.TakeError(), COMM_SHORT_WRITE);
    PortStatus status{};
    port.GetStatus(&status, 7);
    EXPECT_EQ(status.rxCount, 0);
    EXPECT_EQ(status.txCount, 0);
    EXPECT_EQ(port.Purge(0, -1), 0);
}

} // namespace
