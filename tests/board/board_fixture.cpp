// Test helpers; see board_fixture.h.
#include "board_fixture.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <utility>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace boardtest {
namespace {

// Points XDG_CONFIG_HOME at a fresh temporary directory for the whole test process, so links
// never touch the real home, and removes it afterwards.
class PrivateConfig : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/korvane-board-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

private:
    std::string m_dir;
};

const auto* const g_config = ::testing::AddGlobalTestEnvironment(new PrivateConfig);

constexpr int kPollStepMs = 2;

// Appends what `fd` delivers before `deadline`; false at the end of the stream or when nothing came.
bool ReadSome(int fd, std::chrono::steady_clock::time_point deadline, std::string* text) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ready{fd, POLLIN, 0};
    char chunk[512];
    ssize_t got = 0;
    if (poll(&ready, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0 ||
        (got = read(fd, chunk, sizeof chunk)) <= 0)
        return false;
    text->append(chunk, static_cast<size_t>(got));
    return true;
}

} // namespace

std::string DevicesDir() {
    return std::string(std::getenv("XDG_CONFIG_HOME")) + "/korvane/devices";
}

std::string LinkPath(int com) {
    return DevicesDir() + "/COM" + std::to_string(com);
}

std::string LinkTarget(const std::string& path) {
    std::error_code error;
    std::filesystem::path target = std::filesystem::read_symlink(path, error);
    return error ? std::string() : target.string();
}

int OpenFdCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

long ContextSwitches(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    long total = 0;
    for (std::string line; std::getline(status, line);)
        if (line.find("ctxt_switches:") != std::string::npos)
            total += std::atol(line.c_str() + line.find(':') + 1);
    return total;
}

long CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t field = text.rfind(')'); // the command name may hold spaces; fields count from after it
    std::istringstream rest(field == std::string::npos ? std::string() : text.substr(field + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i) rest >> skip; // state .. cmajflt
    long user = 0, system = 0;
    rest >> user >> system;
    return user + system;
}

BoardThread::BoardThread(const std::vector<std::string>& args) : m_out(std::tmpfile()) {
    std::vector<const char*> argv{"korvane-board"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::string error;
    if (board::ParseOptions(static_cast<int>(argv.size()), argv.data(), &m_options, &error) !=
        board::ParseResult::Run) {
        m_startError = "bad options: " + error;
        return;
    }
    m_board = std::make_unique<board::Board>(m_options, m_out, m_out);
    m_startError = m_board->Start();
    if (!m_startError.empty() || pipe(m_stop) != 0) return;
    m_thread = std::thread([this] { m_status = m_board->Run(m_stop[0]); });
}

BoardThread::~BoardThread() {
    Stop();
    if (m_out) std::fclose(m_out);
}

std::string BoardThread::Output() const {
    std::string text;
    char chunk[512];
    for (ssize_t got; (got = pread(fileno(m_out), chunk, sizeof chunk, static_cast<off_t>(text.size()))) > 0;)
        text.append(chunk, static_cast<size_t>(got));
    return text;
}

int BoardThread::Stop() {
    if (m_thread.joinable()) {
        EXPECT_EQ(write(m_stop[1], "x", 1), 1);
        m_thread.join();
    }
    for (int& fd : m_stop) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    return m_status;
}

Client::Client(int com, int baud) : m_port(com - 1, 4096, 2048, 0), m_link(&m_port), m_settings(&m_link) {
    uint16_t lineStatus = 0;
    m_status = m_link.CheckOpen(&lineStatus);
    if (m_status == 0) m_status = SetBaud(baud);
}

std::vector<uint8_t> Client::Exchange(char command, int limitMs, int settleMs) {
    m_link.Send(&command, 1);
    return Collect(limitMs, settleMs);
}

std::vector<uint8_t> Client::Collect(int limitMs, int settleMs) {
    for (int waited = 0; waited < limitMs && m_link.RxCount() <= 0; waited += kPollStepMs) Sleep(kPollStepMs);
    Sleep(static_cast<DWORD>(settleMs));
    // One look at the queue: a flooding board would keep a read-until-empty loop going forever.
    int count = m_link.RxCount();
    if (count <= 0) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(count) + 1); // Receive adds a terminator
    int got = m_link.Receive(bytes.data(), count, 100);
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return bytes;
}

ChildBoard::ChildBoard(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    for (int fd : {out[0], out[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    std::vector<char*> argv{const_cast<char*>(KORVANE_BOARD_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, KORVANE_BOARD_PATH, &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    m_out = out[0];
}

ChildBoard::~ChildBoard() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        Wait(2000);
    }
    if (m_out >= 0) close(m_out);
}

std::string ChildBoard::ReadLine(int limitMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    size_t newline;
    while ((newline = m_pending.find('\n')) == std::string::npos)
        if (!ReadSome(m_out, deadline, &m_pending)) return {};
    std::string line = m_pending.substr(0, newline);
    m_pending.erase(0, newline + 1);
    return line;
}

std::string ChildBoard::Output(int limitMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (ReadSome(m_out, deadline, &m_pending)) {
    }
    return std::exchange(m_pending, {});
}

int ChildBoard::Wait(int limitMs) {
    int status = 0;
    for (int waited = 0; m_pid > 0; waited += kPollStepMs) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (waited >= limitMs) {
            if (limitMs > 0) kill(m_pid, SIGKILL);
            return -1;
        }
        Sleep(kPollStepMs);
    }
    return -1;
}

} // namespace boardtest
