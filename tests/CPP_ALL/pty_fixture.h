// A pseudo-terminal pair mapped as a COM number through a private device directory, for tests
// that drive a real port: the test talks to the master side, the port opens the slave as COMn.
#pragma once

#include <gtest/gtest.h>

#include <string>

class PtyComTest : public ::testing::Test {
protected:
    /// The port index the pair is mapped to (COM5).
    static constexpr int kIndex = 4;

    void SetUp() override;
    void TearDown() override;

    /// Makes COM<index + 1> in the device directory a link to `target` (need not exist).
    void Link(int index, const std::string& target) const;
    /// Writes `bytes` to the master; true when all went.
    bool MasterWrite(const std::string& bytes) const;
    /// Reads from the master until `count` bytes came or `timeoutMs` passed.
    std::string MasterRead(size_t count, int timeoutMs) const;
    /// Waits until the port side has `count` bytes queued, at most `timeoutMs`.
    static void WaitQueued(class CommPort* port, int count, int timeoutMs);
    /// Closes the master: the slave sees the line vanish.
    void CloseMaster();

    std::string m_configDir; ///< temporary XDG_CONFIG_HOME
    std::string m_slavePath; ///< /dev/pts/N
    int m_master = -1;

private:
    std::string m_savedConfigHome;
    bool m_hadConfigHome = false;
};
