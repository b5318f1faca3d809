// The private INI profile: reading and writing rows, folders, failures and atomic replacement.
#include <profile.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

constexpr const char* kApp = "MyKorvaneAp";
constexpr const char* kKey = "KorvaneComPort";

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

// Rows: the file (null: none), what reading MyKorvaneAp/KorvaneComPort with default 3 gives, and the
// file after writing 5 there (null: not written). Every other line stays as it was.
TEST(Profile, ReadGivesTheValueOrTheDefaultAndAWriteKeepsEveryOtherLine) {
    const std::tuple<const char*, int, const char*> rows[] = {
        {"[mykorvaneap]\nKORVANECOMPORT = 9 \n", 9,
         "[mykorvaneap]\nKORVANECOMPORT =5\n"}, // any case, trimmed
        {"[MyKorvaneAp]\nKorvaneComPort=1\nKorvaneComPort=2\n[MyKorvaneAp]\nKorvaneComPort=7\n", 1,
         "[MyKorvaneAp]\nKorvaneComPort=5\nKorvaneComPort=2\n[MyKorvaneAp]\nKorvaneComPort=7\n"},
        {"; c\r\n[MyKorvaneAp]\r\nKorvaneComPort=1\r\nOther=x\r\n", 1,
         "; c\r\n[MyKorvaneAp]\r\nKorvaneComPort=5\r\nOther=x\r\n"},
        // clang-format off
        {"[MyKorvaneAp]\nKorvaneComPort=-4\n", -4, nullptr}, {"[MyKorvaneAp]\nKorvaneComPort=12a\n", 3, nullptr},
        {"[MyKorvaneAp]\nKorvaneComPort=4294967299\n", 3, nullptr}, {"[Other]\nKorvaneComPort=8\n", 3, nullptr},
        {"[My]\nKorvane=8\n", 3, nullptr}, // names match whole, not as a prefix
        // clang-format on
        {"[MyKorvaneAp]\nA=1\n\n[T]\nB=2\n", 3, "[MyKorvaneAp]\nA=1\nKorvaneComPort=5\n\n[T]\nB=2\n"},
        {"; c\n[T]\nB=2", 3, "; c\n[T]\nB=2\n[MyKorvaneAp]\nKorvaneComPort=5\n"}, // no final line end
        {nullptr, 3, "[MyKorvaneAp]\nKorvaneComPort=5\n"}};
    const auto openFds = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto fds = openFds();
    for (auto [file, value, after] : rows) {
        Folder f;
        if (file) WriteText(f.path, file);
        const int read = profile::ReadInt(f.path, kApp, kKey, 3);
        const bool write = after && profile::WriteInt(f.path, kApp, kKey, 5);
        EXPECT_EQ(std::tuple(read, write ? ReadAll(f.path) : ""), std::tuple(value, after ? after : ""))
            << (file ? file : "no file");
    }
    EXPECT_EQ(openFds(), fds) << "a read or write keeps no descriptor";
}

// A write that cannot finish (a directory in the file's place; a full disk, here a file size limit
// in a child) is reported, leaves the old profile as it was and no temporary file beside it.
TEST(Profile, AFailedWriteKeepsTheOldProfileAndLeavesNoTemporaryFile) {
    const std::string old = "[MyKorvaneAp]\nKorvaneComPort=1\n; " + std::string(60, '-') + "\n";
    for (bool directory : {true, false}) {
        Folder f;
        directory ? void(mkdir(f.path.c_str(), 0755)) : WriteText(f.path, old);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) { // the limit is the child's alone
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{16, 16};
            _exit(setrlimit(RLIMIT_FSIZE, &limit) == 0 && !profile::WriteInt(f.path, kApp, kKey, 2) ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(std::tuple(status, ReadAll(f.path), f.Files(), profile::ReadInt(f.path, kApp, kKey, 3)),
                  std::tuple(0, directory ? "" : old, directory ? 0 : 1, directory ? 3 : 1))
            << "directory " << directory << " (status 1: the failed write was reported as done)";
    }
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
    ASSERT_TRUE(profile::WriteInt(path, kApp, kKey, 2) && stat(path.c_str(), &after) == 0);
    EXPECT_EQ(std::tuple(before.st_ino != after.st_ino, after.st_mode & 07777, f.Files()),
              std::tuple(true, 0640u, 1))
        << "renamed over the old one, its mode kept, nothing left";
    for (int round = 0; round < 5; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) // writes until it is killed
            for (int v = 0;; ++v) profile::WriteInt(path, kApp, kKey, v % 16);
        usleep(20000 + round * 7000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const int value = profile::ReadInt(path, kApp, kKey, -1);
        EXPECT_EQ(std::tuple(ReadAll(path).substr(0, comments.size()) == comments, value >= 0 && value < 16),
                  std::tuple(true, true))
            << "round " << round << ": " << value;
    }
    // A writer killed mid-write leaves its temporary file; one under this process's name (its
    // process id reused) must not block the next write either.
    WriteText(path + ".tmp" + std::to_string(getpid()), "half a profile");
    EXPECT_EQ((std::tuple{profile::WriteInt(path, kApp, kKey, 77), profile::ReadInt(path, kApp, kKey, -1)}),
              std::tuple(true, 77));
}
