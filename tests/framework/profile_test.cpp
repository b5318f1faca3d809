// The private INI profile: reading and writing rows, folders, failures and atomic replacement.
#include <afxwin.h>
#include <profile.h>

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct ReadRow {
    const char* name;
    const char* file; // null: no file
    int expected;
};

void PrintTo(const ReadRow& row, std::ostream* os) {
    *os << row.name;
}

class ProfileRead : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ProfileRead, GivesTheValueOrTheDefault) {
    QTemporaryDir dir;
    std::string path = dir.filePath("korvane.INI").toStdString();
    if (GetParam().file) WriteText(path, GetParam().file);
    EXPECT_EQ(profile::ReadInt(path, "MyKorvaneAp", "KorvaneComPort", 3), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProfileRead,
    ::testing::Values(ReadRow{"Plain", "[MyKorvaneAp]\nKorvaneComPort=7\n", 7},
                      ReadRow{"CaseInsensitive", "[mykorvaneap]\nKORVANECOMPORT = 9 \n", 9},
                      ReadRow{"FirstMatchWins",
                              "[MyKorvaneAp]\nKorvaneComPort=1\nKorvaneComPort=2\n"
                              "[MyKorvaneAp]\nKorvaneComPort=5\n",
                              1},
                      ReadRow{"CrLf", "; saved on Windows\r\n[MyKorvaneAp]\r\nKorvaneComPort=5\r\n", 5},
                      ReadRow{"Negative", "[MyKorvaneAp]\nKorvaneComPort=-4\n", -4},
                      ReadRow{"PlusSign", "[MyKorvaneAp]\nKorvaneComPort=+6\n", 6},
                      ReadRow{"Garbage", "[MyKorvaneAp]\nKorvaneComPort=twelve\n", 3},
                      ReadRow{"TrailingLetters", "[MyKorvaneAp]\nKorvaneComPort=12a\n", 3},
                      ReadRow{"Empty", "[MyKorvaneAp]\nKorvaneComPort=\n", 3},
                      ReadRow{"OutOfRange", "[MyKorvaneAp]\nKorvaneComPort=4294967299\n", 3},
                      ReadRow{"OtherSection", "[Other]\nKorvaneComPort=8\n", 3},
                      ReadRow{"CommentedOut", "[MyKorvaneAp]\n;KorvaneComPort=8\n", 3},
                      ReadRow{"NoFile", nullptr, 3}),
    [](const auto& info) { return std::string(info.param.name); });

struct WriteRow {
    const char* name;
    const char* before;
    const char* after;
};

void PrintTo(const WriteRow& row, std::ostream* os) {
    *os << row.name;
}

class ProfileWrite : public ::testing::TestWithParam<WriteRow> {};

TEST_P(ProfileWrite, KeepsEveryOtherLine) {
    QTemporaryDir dir;
    std::string path = dir.filePath("korvane.INI").toStdString();
    if (GetParam().before) WriteText(path, GetParam().before);
    ASSERT_TRUE(profile::WriteInt(path, "MyKorvaneAp", "KorvaneComPort", 5));
    EXPECT_EQ(ReadAll(path), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProfileWrite,
    ::testing::Values(
        WriteRow{"NewFile", nullptr, "[MyKorvaneAp]\nKorvaneComPort=5\n"},
        WriteRow{"ReplaceInPlaceCrLf", "; comment\r\n[MyKorvaneAp]\r\nKorvaneComPort=1\r\nOther=x\r\n",
                 "; comment\r\n[MyKorvaneAp]\r\nKorvaneComPort=5\r\nOther=x\r\n"},
        WriteRow{"ReplaceCaseInsensitive", "[mykorvaneap]\nkorvanecomport=1\n",
                 "[mykorvaneap]\nkorvanecomport=5\n"},
        WriteRow{"AddKeyToSection", "[MyKorvaneAp]\nA=1\n\n[T]\nB=2\n",
                 "[MyKorvaneAp]\nA=1\nKorvaneComPort=5\n\n[T]\nB=2\n"},
        WriteRow{"AddSectionAfterUnterminatedLine", "; c\n[T]\nB=2",
                 "; c\n[T]\nB=2\n[MyKorvaneAp]\nKorvaneComPort=5\n"},
        WriteRow{"AddSectionCrLf", "[T]\r\nB=2\r\n", "[T]\r\nB=2\r\n[MyKorvaneAp]\r\nKorvaneComPort=5\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

TEST(Profile, ApplicationProfileIsNamedAfterTheExecutableInXdgConfigHome) {
    QTemporaryDir dir;
    std::string home = dir.filePath("config").toStdString();
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    CWinApp* app = AfxGetApp();
    std::string saved = app->m_strExeName;
    app->SetExeName("korvane");
    EXPECT_EQ(app->m_strProfileName, home + "/korvane.INI");
    EXPECT_EQ(static_cast<int>(app->GetProfileInt("MyKorvaneAp", "KorvaneComPort", 3)), 3);
    EXPECT_TRUE(app->WriteProfileInt("MyKorvaneAp", "KorvaneComPort", 12)) << "creates the folder";
    EXPECT_EQ(static_cast<int>(app->GetProfileInt("mykorvaneap", "korvanecomport", 3)), 12);
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    app->SetExeName("korvane");
    EXPECT_EQ(app->m_strProfileName, std::string(getenv("HOME")) + "/.config/korvane.INI");
    unsetenv("XDG_CONFIG_HOME");
    app->SetExeName(saved);
}

TEST(Profile, ADirectoryInPlaceOfTheFileGivesTheDefaultAndAFailedWrite) {
    QTemporaryDir dir;
    std::string path = dir.filePath("korvane.INI").toStdString();
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    EXPECT_EQ(profile::ReadInt(path, "MyKorvaneAp", "KorvaneComPort", 3), 3);
    EXPECT_FALSE(profile::WriteInt(path, "MyKorvaneAp", "KorvaneComPort", 4));
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0) << "no temporary file left";
}

TEST(Profile, WriteReplacesTheFileKeepingItsMode) {
    QTemporaryDir dir;
    std::string path = dir.filePath("korvane.INI").toStdString();
    WriteText(path, "[MyKorvaneAp]\nKorvaneComPort=1\n");
    chmod(path.c_str(), 0640);
    struct stat before {
    }, after{};
    stat(path.c_str(), &before);
    ASSERT_TRUE(profile::WriteInt(path, "MyKorvaneAp", "KorvaneComPort", 2));
    stat(path.c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino) << "a new file renamed over the old, not rewritten in place";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(Profile, AKilledWriterNeverLeavesAPartialFile) {
    QTemporaryDir dir;
    std::string path = dir.filePath("korvane.INI").toStdString();
    std::string comments;
    for (int i = 0; i < 200; ++i) comments += "; line " + std::to_string(i) + " of a long comment block\n";
    WriteText(path, comments + "[MyKorvaneAp]\nKorvaneComPort=1\n");
    for (int round = 0; round < 5; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int v = 0;; ++v) profile::WriteInt(path, "MyKorvaneAp", "KorvaneComPort", v % 16);
        }
        usleep(20000 + round * 7000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        std::string text = ReadAll(path);
        ASSERT_EQ(text.substr(0, comments.size()), comments) << "round " << round;
        int value = profile::ReadInt(path, "MyKorvaneAp", "KorvaneComPort", -1);
        EXPECT_GE(value, 0);
        EXPECT_LT(value, 16);
    }
}
