// The private INI profile: reading and writing rows, folders, failures and atomic replacement.
#include <afxwin.h>
#include <profile.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <utility>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

std::string ReadAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder and the profile's path in it (no file yet); counts its files, temporary ones too.
struct Folder {
    QTemporaryDir dir;
    std::string path = dir.filePath("korvane.INI").toStdString();
    qsizetype Files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(); }
};

} // namespace

// Rows: the file (null: none) and what reading MyKorvaneAp/KorvaneComPort with default 3 gives.
TEST(Profile, ReadGivesTheValueOrTheDefault) {
    const std::pair<const char*, int> rows[] = {
        {"[mykorvaneap]\nKORVANECOMPORT = 9 \n", 9}, // case-insensitive, trimmed
        {"[MyKorvaneAp]\nKorvaneComPort=1\nKorvaneComPort=2\n[MyKorvaneAp]\nKorvaneComPort=5\n", 1},
        {"; saved on Windows\r\n[MyKorvaneAp]\r\nKorvaneComPort=5\r\n", 5},
        {"[MyKorvaneAp]\nKorvaneComPort=-4\n", -4},
        {"[MyKorvaneAp]\nKorvaneComPort=+6\n", 6},
        {"[MyKorvaneAp]\nKorvaneComPort=twelve\n", 3},
        {"[MyKorvaneAp]\nKorvaneComPort=12a\n", 3},
        {"[MyKorvaneAp]\nKorvaneComPort=\n", 3},
        {"[MyKorvaneAp]\nKorvaneComPort=4294967299\n", 3},
        {"[Other]\nKorvaneComPort=8\n", 3},
        {"[My]\nKorvane=8\n", 3}, // names match whole, not as a prefix
        {"[MyKorvaneAp]\n;KorvaneComPort=8\n", 3},
        {nullptr, 3},
    };
    const auto openFds = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto fds = openFds();
    for (auto [file, expected] : rows) {
        SCOPED_TRACE(file ? file : "no file");
        Folder f;
        if (file) WriteText(f.path, file);
        EXPECT_EQ(profile::ReadInt(f.path, "MyKorvaneAp", "KorvaneComPort", 3), expected);
    }
    EXPECT_EQ(openFds(), fds) << "a read keeps no descriptor";
}

// Rows: the file before (null: none) and after writing MyKorvaneAp/KorvaneComPort=5.
TEST(Profile, WriteKeepsEveryOtherLine) {
    const std::pair<const char*, const char*> rows[] = {
        {nullptr, "[MyKorvaneAp]\nKorvaneComPort=5\n"},
        {"; comment\r\n[MyKorvaneAp]\r\nKorvaneComPort=1\r\nOther=x\r\n",
         "; comment\r\n[MyKorvaneAp]\r\nKorvaneComPort=5\r\nOther=x\r\n"},
        {"[mykorvaneap]\nkorvanecomport=1\n", "[mykorvaneap]\nkorvanecomport=5\n"},
        {"[MyKorvaneAp]\nA=1\n\n[T]\nB=2\n", "[MyKorvaneAp]\nA=1\nKorvaneComPort=5\n\n[T]\nB=2\n"},
        {"; c\n[T]\nB=2", "; c\n[T]\nB=2\n[MyKorvaneAp]\nKorvaneComPort=5\n"}, // no final line end
        {"[T]\r\nB=2\r\n", "[T]\r\nB=2\r\n[MyKorvaneAp]\r\nKorvaneComPort=5\r\n"},
    };
    for (auto [before, after] : rows) {
        SCOPED_TRACE(before ? before : "no file");
        Folder f;
        if (before) WriteText(f.path, before);
        ASSERT_TRUE(profile::WriteInt(f.path, "MyKorvaneAp", "KorvaneComPort", 5));
        EXPECT_EQ(ReadAll(f.path), after);
    }
}

TEST(Profile, ApplicationProfileIsNamedAfterTheExecutableInXdgConfigHome) {
    Folder f;
    std::string home = f.dir.filePath("config").toStdString();
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    CWinApp* app = AfxGetApp();
    std::string saved = app->m_strExeName;
    app->SetExeName("korvane");
    EXPECT_EQ(app->m_strProfileName, home + "/korvane.INI");
    EXPECT_EQ(static_cast<int>(app->GetProfileInt("MyKorvaneAp", "KorvaneComPort", 3)), 3);
    EXPECT_TRUE(app->WriteProfileInt("MyKorvaneAp", "KorvaneComPort", 12)) << "creates the folder";
    EXPECT_EQ(static_cast<int>(app->GetProfileInt("mykorvaneap", "korvanecomport", 3)), 12);
    unsetenv("XDG_CONFIG_HOME");
    app->SetExeName(saved);
}

TEST(Profile, ADirectoryInPlaceOfTheFileGivesTheDefaultAndAFailedWrite) {
    Folder f;
    ASSERT_EQ(mkdir(f.path.c_str(), 0755), 0);
    EXPECT_EQ(profile::ReadInt(f.path, "MyKorvaneAp", "KorvaneComPort", 3), 3);
    EXPECT_FALSE(profile::WriteInt(f.path, "MyKorvaneAp", "KorvaneComPort", 4));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(f.path)).isDir());
    EXPECT_EQ(f.Files(), 0) << "no temporary file left";
}

// A write that cannot finish (a full disk; here a file size limit) leaves the old profile as it was
// and no temporary file beside it.
TEST(Profile, AWriteThatCannotFinishKeepsTheOldProfile) {
    Folder f;
    const std::string old = "[MyKorvaneAp]\nKorvaneComPort=1\n; " + std::string(60, '-') + "\n";
    WriteText(f.path, old);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) { // the limit is the child's alone
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        const bool refused = setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                             !profile::WriteInt(f.path, "MyKorvaneAp", "KorvaneComPort", 2);
        _exit(refused ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "the failed write was reported as done";
    EXPECT_EQ(ReadAll(f.path), old);
    EXPECT_EQ(f.Files(), 1) << "a temporary file was left";
}

// Writing renames a new file over the old one with the old one's mode; a writer killed at any
// moment leaves either profile whole.
TEST(Profile, WriteIsAtomic) {
    Folder f;
    const std::string& path = f.path;
    std::string comments;
    for (int i = 0; i < 200; ++i) comments += "; line " + std::to_string(i) + " of a long comment block\n";
    WriteText(path, comments + "[MyKorvaneAp]\nKorvaneComPort=1\n");
    chmod(path.c_str(), 0640);
    struct stat before = {}, after = {};
    stat(path.c_str(), &before);
    ASSERT_TRUE(profile::WriteInt(path, "MyKorvaneAp", "KorvaneComPort", 2) &&
                stat(path.c_str(), &after) == 0);
    EXPECT_NE(before.st_ino, after.st_ino) << "not rewritten in place";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(f.Files(), 1);
    for (int round = 0; round < 5; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) { // writes until it is killed
            for (int v = 0;; ++v) profile::WriteInt(path, "MyKorvaneAp", "KorvaneComPort", v % 16);
        }
        usleep(20000 + round * 7000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        ASSERT_EQ(ReadAll(path).substr(0, comments.size()), comments) << "round " << round;
        int value = profile::ReadInt(path, "MyKorvaneAp", "KorvaneComPort", -1);
        EXPECT_TRUE(value >= 0 && value < 16) << value;
    }
    // A writer killed mid-write leaves its temporary file; one under this process's name (its
    // process id reused) must not block the next write either.
    WriteText(path + ".tmp" + std::to_string(getpid()), "half a profile");
    EXPECT_TRUE(profile::WriteInt(path, "MyKorvaneAp", "KorvaneComPort", 77));
    EXPECT_EQ(profile::ReadInt(path, "MyKorvaneAp", "KorvaneComPort", -1), 77);
}
