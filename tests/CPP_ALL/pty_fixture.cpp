// The pseudo-terminal fixture; see pty_fixture.h.
#include "pty_fixture.h"

#include "COMLINK.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <unistd.h>
#include <windows.h>

void PtyComTest::SetUp() {
    const char* home = std::getenv("XDG_CONFIG_HOME");
    m_hadConfigHome = home != nullptr;
    m_savedConfigHome = home ? home : "";
    char pattern[] = "/tmp/korvane-pty-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_configDir = pattern;
    std::filesystem::create_directories(m_configDir + "/korvane/devices");
    setenv("XDG_CONFIG_HOME", m_configDir.c_str(), 1);
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(m_master, 0);
    ASSERT_EQ(grantpt(m_master), 0);
    ASSERT_EQ(unlockpt(m_master), 0);
    char name[128];
    ASSERT_EQ(ptsname_r(m_master, name, sizeof name), 0);
    m_slavePath = name;
    Link(kIndex, m_slavePath);
}

void PtyComTest::TearDown() {
    CloseMaster();
    std::filesystem::remove_all(m_configDir);
    if (m_hadConfigHome) {
        setenv("XDG_CONFIG_HOME", m_savedConfigHome.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

void PtyComTest::Link(int index, const std::string& target) const {
    std::filesystem::path link = m_configDir + "/korvane/devices/COM" + std::to_string(index + 1);
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
}

bool PtyComTest::MasterWrite(const std::string& bytes) const {
    return write(m_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::string PtyComTest::MasterRead(size_t count, int timeoutMs) const {
    std::string got;
    DWORD start = GetTickCount();
    while (got.size() < count && GetTickCount() - start < static_cast<DWORD>(timeoutMs)) {
        pollfd wanted{m_master, POLLIN, 0};
        poll(&wanted, 1, 10);
        char chunk[4096];
        ssize_t n = read(m_master, chunk, std::min(sizeof chunk, count - got.size()));
        if (n > 0) got.append(chunk, static_cast<size_t>(n));
    }
    return got;
}

void PtyComTest::WaitQueued(CommPort* port, int count, int timeoutMs) {
    PortStatus status{};
    DWORD start = GetTickCount();
    do {
        port->GetStatus(&status, 1);
        if (status.rxCount >= count) return;
        Sleep(1);
    } while (GetTickCount() - start < static_cast<DWORD>(timeoutMs));
}

void PtyComTest::CloseMaster() {
    if (m_master >= 0) close(m_master);
    m_master = -1;
}
