// The trend window: its history (bounds, gaps, both modes), its csv, the plot pixel by pixel for fed
// readings, pause, save, and its life beside the main window, which feeds it from the real board.
#include "KorvaneDlg.h"

#include "helpers.h"
#include "program_fixture.h"
#include "res/resource.h"

#include <QFileDialog>
#include <QImage>
#include <QLineEdit>

#include <fstream>
#include <sstream>

namespace {

TrendSample Sample(int64_t tMs, bool valid, uint8_t x = 0, uint8_t y = 0, float volts = 0,
                   bool lost = false) {
    TrendSample s{tMs, valid, lost, {x, y, x < 128, y < 128}, {}};
    std::fill(std::begin(s.volts), std::end(s.volts), volts);
    return s;
}

// A file in the tests' private configuration directory.
std::string TestPath(const char* name) {
    return std::string(std::getenv("XDG_CONFIG_HOME")) + "/" + name;
}

std::string FileText(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

} // namespace

TEST(TrendHistory, KeepsTenMinutesPerModeInItsRingAndJoinsOnlyCloseValidTicks) {
    auto history = std::make_unique<TrendHistory>();
    for (int k = 0; k <= TrendHistory::kCapacity; ++k) history->Record(PollMode::Tilt, Sample(k * 100, true));
    EXPECT_EQ(history->Count(PollMode::Tilt), 6000);
    EXPECT_EQ(history->At(PollMode::Tilt, 0).tMs, 100) << "the oldest went";
    EXPECT_EQ(history->At(PollMode::Tilt, 5999).tMs, 600000);
    EXPECT_EQ(history->Count(PollMode::Dvm), 0) << "each mode its own";
    for (int64_t t : {0, 1000, 600000, 600001}) history->Record(PollMode::Dvm, Sample(t, true));
    EXPECT_EQ(history->Count(PollMode::Dvm), 3) << "more than ten minutes back goes too";
    EXPECT_EQ(history->At(PollMode::Dvm, 0).tMs, 1000);
    EXPECT_EQ(history->FirstAtOrAfter(PollMode::Dvm, 1001), 1);
    EXPECT_EQ(history->FirstAtOrAfter(PollMode::Dvm, 700000), 3);
    const std::tuple<bool, bool, int, bool> rows[] = {{true, true, 300, true},
                                                      {true, true, 301, false},
                                                      {false, true, 100, false},
                                                      {true, false, 100, false}};
    for (auto [a, b, t, joined] : rows)
        EXPECT_EQ(TrendHistory::Joined(Sample(0, a), Sample(t, b)), joined) << t;
}

// korvane-cli's csv: t_ms from the first kept tick, no row for a missed one. A write that fails
// says why and leaves the file as it was.
TEST(TrendHistory, SavesTheCliCsvAtomically) {
    auto history = std::make_unique<TrendHistory>();
    history->Record(PollMode::Tilt, Sample(1000, true, 1, 200));
    history->Record(PollMode::Tilt, Sample(1100, false, 9, 9));
    history->Record(PollMode::Tilt, Sample(1200, true, 255, 0));
    history->Record(PollMode::Dvm, Sample(5000, false));
    history->Record(PollMode::Dvm, Sample(5100, true, 0, 0, -2.5f));
    EXPECT_EQ(history->Csv(PollMode::Tilt), "t_ms,x,y,left,right\n0,1,200,UP,DOWN\n200,255,0,DOWN,UP\n");
    EXPECT_EQ(history->Csv(PollMode::Dvm),
              "t_ms,ch0,ch1,ch2,ch3,ch4,ch5,ch6\n100,-2.50,-2.50,-2.50,-2.50,-2.50,-2.50,-2.50\n");
    const std::string path = TestPath("history.csv");
    EXPECT_EQ(WriteFileAtomically(path, "old"), "");
    std::filesystem::create_directory(path + ".tmp"); // the temporary file cannot be made
    EXPECT_EQ(WriteFileAtomically(path, "new"), "Could not write " + path + ": Is a directory.");
    EXPECT_EQ(FileText(path), "old");
    std::filesystem::remove(path + ".tmp");
    EXPECT_EQ(WriteFileAtomically(path, "new"), "");
    EXPECT_EQ(FileText(path), "new");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

// Client 480 x 325, span 60 s: TILT plot L 52, R 356, T 44, B 261; DVM B 303. Ticks every 100 ms
// up to 60 s, the ones from 25 s to 35 s missed, 10 s to 15 s lost.
TEST(TrendWindow, ReadingsLandOnTheAxisEndsGapsStayEmptyLostTicksAreShadedAndPauseFreezes) {
    CTrendDlg trend(nullptr);
    ASSERT_TRUE(trend.Create());
    QWidget* w = AfxQtWidget(&trend);
    w->resize(480, 325);
    for (PollMode mode : {PollMode::Dvm, PollMode::Tilt}) {
        for (int k = 0; k <= 600; ++k)
            trend.Record(mode, Sample(k * 100, k < 250 || k >= 350, 255, 0, mode == PollMode::Dvm ? -5.f : 0,
                                      k >= 100 && k < 150));
        const int bottom = mode == PollMode::Tilt ? 261 : 303;
        const QRgb low = mode == PollMode::Tilt ? qRgb(220, 0, 0) : qRgb(120, 80, 20); // Y; Ch6, drawn last
        QImage img = w->grab().toImage();
        SCOPED_TRACE(mode == PollMode::Tilt ? "TILT" : "DVM");
        for (int x : {52, 300, 356}) {
            EXPECT_EQ(img.pixel(x, bottom), low) << x;
            EXPECT_TRUE(mode == PollMode::Dvm || img.pixel(x, 44) == qRgb(0, 90, 220)) << "X at " << x;
        }
        EXPECT_NE(img.pixel(55, bottom - 1), low) << "one row only";
        EXPECT_NE(img.pixel(204, bottom), low) << "30 s: in the gap";
        EXPECT_EQ(img.pixel(116, 120), qRgb(255, 224, 224)) << "12.5 s: lost";
        EXPECT_NE(img.pixel(260, 120), qRgb(255, 224, 224)) << "40 s: answering";
    }
    QTest::mouseClick(AfxQtControl(&trend, IDC_TREND_PAUSE), Qt::LeftButton);
    QImage frozen = w->grab().toImage();
    for (int k = 601; k < 700; ++k) trend.Record(PollMode::Tilt, Sample(k * 100, true, 9, 9));
    EXPECT_EQ(w->grab().toImage(), frozen);
    EXPECT_EQ(trend.History().Count(PollMode::Tilt), 700) << "recording went on";
    CString label;
    trend.GetDlgItemText(IDC_TREND_PAUSE, label);
    EXPECT_EQ(label, "Resume");
    QTest::mouseClick(AfxQtControl(&trend, IDC_TREND_PAUSE), Qt::LeftButton);
    EXPECT_NE(w->grab().toImage(), frozen);
}

// The program's ticks feed it (the board's fixed reading, one sample per tick; the ticks while the
// board was pulled out are lost and shaded). The system menu opens it (once: the second time it comes
// to the front); Save CSV... asks for the file, a failed write shows its box; Escape closes it and the
// program goes on; the main window's end closes it.
TEST(TrendWindow, FedByTheTicksOpensOnceTakesKeysUnderTheModalMainWindowSavesAndClosesWithIt) {
    std::filesystem::remove_all(AfxGetApp()->m_strProfileName); // COM3
    apptest::Board board("--tilt 128,64,2 --drop-after 8 --return-after 1500");
    CKorvaneDlg dlg;
    const TrendHistory& history = dlg.m_trend.History();
    auto back = [&] { // a lost tick, and now a valid one
        const int n = history.Count(PollMode::Tilt);
        bool lost = false;
        for (int i = 0; i < n; ++i) lost = lost || history.At(PollMode::Tilt, i).lost;
        return lost && n && history.At(PollMode::Tilt, n - 1).valid &&
               !history.At(PollMode::Tilt, n - 1).lost;
    };
    const std::string path = TestPath("saved.csv");
    BoxCloser closer;
    int shaded = -1;
    RunModal(
        dlg,
        [&](QWidget*) {
            const auto& items = dlg.GetSystemMenu(FALSE)->Items();
            ASSERT_GE(items.size(), 3u);
            EXPECT_EQ(items[items.size() - 2].text, "&Trend...");
            dlg.SendMessage(WM_SYSCOMMAND, IDM_TREND, 0);
            QPointer<QWidget> trend = AfxQtWidget(&dlg.m_trend);
            ASSERT_TRUE(trend && trend->isVisible());
            EXPECT_EQ(trend->windowTitle(), "Korvane Trend");
            dlg.SendMessage(WM_SYSCOMMAND, IDM_TREND, 0);
            EXPECT_EQ(AfxQtWidget(&dlg.m_trend), trend) << "the same window";
            ASSERT_TRUE(QTest::qWaitFor(back, 8000)) << history.Count(PollMode::Tilt) << " ticks";
            const TrendSample& s = history.At(PollMode::Tilt, 2);
            EXPECT_TRUE(s.valid && s.tilt.x == 128 && s.tilt.y == 64 && s.tilt.leftUp && !s.tilt.rightUp);
            const QImage img = trend->grab().toImage().convertToFormat(QImage::Format_RGB32);
            shaded = static_cast<int>(
                std::count(reinterpret_cast<const QRgb*>(img.constBits()),
                           reinterpret_cast<const QRgb*>(img.constBits()) + img.width() * img.height(),
                           qRgb(255, 224, 224)));
            std::filesystem::create_directory(path + ".tmp");
            QTimer typist; // the name typed into the save dialog once it is up
            QObject::connect(&typist, &QTimer::timeout, [&] {
                auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (!files) return;
                typist.stop();
                files->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(path));
                QMetaObject::invokeMethod(files, "accept");
            });
            typist.start(20);
            QTest::mouseClick(AfxQtControl(&dlg.m_trend, IDC_TREND_SAVE), Qt::LeftButton);
            std::filesystem::remove(path + ".tmp");
            EXPECT_EQ(dlg.m_trend.SaveCsv(path), "");
            QTest::keyClick(trend, Qt::Key_Escape);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !trend; })) << "gone, the main window still runs";
            dlg.m_trend.Open();
            EXPECT_TRUE(dlg.m_trend.IsOpen());
            dlg.EndDialog(IDOK);
        },
        12000);
    DisconnectBoard();
    EXPECT_EQ(closer.seen,
              std::vector<std::string>{"Korvane: Could not write " + path + ": Is a directory."});
    EXPECT_GT(shaded, 100) << "the lost ticks";
    const std::string csv = FileText(path);
    EXPECT_EQ(csv.rfind("t_ms,x,y,left,right\n0,128,64,UP,DOWN\n", 0), 0u) << csv;
    EXPECT_GE(apptest::Count(csv, ",128,64,UP,DOWN\n"), 9) << "before and after the board was lost";
    EXPECT_EQ(dlg.m_trend.GetSafeHwnd(), nullptr) << "closed with the main window";
}
