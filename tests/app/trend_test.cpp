// The trend window: its history (bounds, gaps, both modes), its csv, the plot pixel by pixel for fed
// readings, pause, save, and its life beside the main window, which feeds it from the real board.
#include "KorvaneDlg.h"

#include "helpers.h"
#include "program_fixture.h"
#include "res/resource.h"

#include <fstream>

namespace {

TrendSample Sample(int64_t t, bool valid, uint8_t x = 0, uint8_t y = 0, float volts = 0, bool lost = false) {
    return {t, valid, lost, {x, y, x < 128, y < 128}, {volts, volts, volts, volts, volts, volts, volts}};
}

} // namespace

// Ten minutes per mode (at most kCapacity ticks), gaps, and korvane-cli's csv: t_ms from the first
// kept tick, no row for a missed one.
TEST(TrendHistory, KeepsTenMinutesPerModeJoinsCloseValidTicksAndGivesTheCliCsv) {
    auto h = std::make_unique<TrendHistory>();
    auto kept = [&](PollMode m) { // "count: oldest..newest"
        return std::to_string(h->Count(m)) + ": " + std::to_string(h->At(m, 0).tMs) + ".." +
               std::to_string(h->At(m, std::max(h->Count(m) - 1, 0)).tMs) + "; ";
    };
    for (int64_t t : {0, 1000, 600000}) h->Record(PollMode::Dvm, Sample(t, true));
    std::string seen = kept(PollMode::Tilt) + kept(PollMode::Dvm);
    for (int k = 0; k <= TrendHistory::kCapacity; ++k) h->Record(PollMode::Tilt, Sample(k * 100, true));
    h->Record(PollMode::Dvm, Sample(600001, true));
    EXPECT_EQ(seen + kept(PollMode::Tilt) + kept(PollMode::Dvm),
              "0: 0..0; 3: 0..600000; 6000: 100..600000; 3: 1000..600001; ");
    auto joined = [](int t) { return TrendHistory::Joined(Sample(0, true), Sample(t, true)); };
    EXPECT_TRUE(joined(300) && !joined(301)) << "valid ticks 300 ms apart, no more";
    h = std::make_unique<TrendHistory>();
    for (auto s : {Sample(1000, true, 1, 200), Sample(1100, false, 9, 9), Sample(1200, true, 255, 0)})
        h->Record(PollMode::Tilt, s);
    for (auto s : {Sample(5000, false), Sample(5100, true, 0, 0, -2.5f)}) h->Record(PollMode::Dvm, s);
    EXPECT_EQ(h->Csv(PollMode::Tilt) + h->Csv(PollMode::Dvm),
              "t_ms,x,y,left,right\n0,1,200,UP,DOWN\n200,255,0,DOWN,UP\n"
              "t_ms,ch0,ch1,ch2,ch3,ch4,ch5,ch6\n100,-2.50,-2.50,-2.50,-2.50,-2.50,-2.50,-2.50\n");
}

// Client 480 x 325, span 60 s: TILT plot L 52, R 356, T 44, B 261, button bands from 273 and 289;
// DVM B 303. Ticks every 100 ms up to 60 s (X 255, Y 0 or -5 V, left button down), the ones from
// 25 s to 35 s missed, 10 s to 15 s lost. Each probe: X, Y, Ch6 (drawn last), lost, button or '-'.
TEST(TrendWindow, ReadingsLandOnTheAxisEndsGapsStayEmptyLostTicksAreShadedAndPauseFreezes) {
    CTrendDlg trend(nullptr);
    ASSERT_TRUE(trend.Create());
    QWidget* w = AfxQtWidget(&trend);
    w->resize(480, 325);
    const QRgb colours[] = {0xff005adc, 0xffdc0000, 0xff785014, 0xffffe0e0,
                            0xff404040}; // X Y Ch6 lost button
    for (auto [mode, b, probes] : std::initializer_list<std::tuple<PollMode, int, std::string>>{
             {PollMode::Dvm, 303, "666--L------"}, {PollMode::Tilt, 261, "YYY--L-XXXB-"}}) {
        for (int k = 0; k <= 600; ++k)
            trend.Record(mode, Sample(k * 100, k < 250 || k >= 350, 255, 0, -5.f, k >= 100 && k < 150));
        const QImage img = w->grab().toImage();
        std::string seen;
        const int at[] = {52,  b,   300, b,  356, b,  55,  b - 1, 204, b,   116, 120,
                          260, 120, 52,  44, 300, 44, 356, 44,    300, 276, 300, 292};
        for (size_t i = 0; i < std::size(at); i += 2)
            seen += "XY6LB-"[std::find(colours, std::end(colours), img.pixel(at[i], at[i + 1])) - colours];
        EXPECT_EQ(seen, probes);
    }
    QAbstractButton* pause = qobject_cast<QAbstractButton*>(AfxQtControl(&trend, IDC_TREND_PAUSE));
    pause->click();
    const QImage frozen = w->grab().toImage();
    for (int k = 601; k < 700; ++k) trend.Record(PollMode::Tilt, Sample(k * 100, true, 9, 9));
    EXPECT_EQ(w->grab().toImage(), frozen);
    EXPECT_TRUE(pause->text() == "Resume" && trend.History().Count(PollMode::Tilt) == 700)
        << "recording goes on";
    pause->click();
    EXPECT_NE(w->grab().toImage(), frozen);
}

// The program's ticks feed it (the board's fixed reading; the ticks while the board was pulled out
// are lost). The system menu opens it (once: the second time it comes to the front); Save CSV...
// asks for the file, a failed write (the disk full) shows its box and leaves neither the file nor a
// temporary file that would block the next one; Escape closes it and the program goes on; the main
// window's end closes it.
TEST(TrendWindow, FedByTheTicksOpensOnceTakesKeysUnderTheModalMainWindowSavesAndClosesWithIt) {
    std::filesystem::remove_all(AfxGetApp()->m_strProfileName); // COM3
    apptest::Board board("--tilt 128,64,2 --drop-after 8 --return-after 1500");
    CKorvaneDlg dlg;
    const TrendHistory& h = dlg.m_trend.History();
    auto back = [&] { // a lost tick, and now a valid one
        int n = h.Count(PollMode::Tilt), lost = 0;
        for (int i = 0; i < n; ++i) lost += h.At(PollMode::Tilt, i).lost;
        return lost && h.At(PollMode::Tilt, n - 1).valid;
    };
    const std::string path = std::getenv("XDG_CONFIG_HOME") + std::string("/saved.csv");
    BoxCloser closer;
    auto script = [&](QWidget*) {
        const auto& item = dlg.GetSystemMenu(FALSE)->Items().rbegin()[1]; // before About
        EXPECT_EQ(item.text, "&Trend...");
        dlg.SendMessage(WM_SYSCOMMAND, item.id, 0);
        QPointer<QWidget> trend = AfxQtWidget(&dlg.m_trend);
        ASSERT_TRUE(trend && trend->isVisible() && trend->windowTitle() == "Korvane Trend");
        dlg.SendMessage(WM_SYSCOMMAND, IDM_TREND, 0);
        EXPECT_EQ(AfxQtWidget(&dlg.m_trend), trend) << "the same window";
        ASSERT_TRUE(QTest::qWaitFor(back, 8000)) << h.Count(PollMode::Tilt) << " ticks";
        std::filesystem::create_symlink("/dev/full", path + ".tmp"); // the disk full
        QTimer typist; // types the name into the save dialog once it is up
        QObject::connect(&typist, &QTimer::timeout, [&] {
            if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
                typist.stop(), files->selectFile(QString::fromStdString(path)),
                    QMetaObject::invokeMethod(files, "accept");
        });
        typist.start(20);
        QTest::mouseClick(AfxQtControl(&dlg.m_trend, IDC_TREND_SAVE), Qt::LeftButton);
        EXPECT_FALSE(std::filesystem::exists(path)) << "nothing left behind";
        EXPECT_EQ(dlg.m_trend.SaveCsv(path), "") << "no temporary file left to block it";
        QTest::keyClick(trend, Qt::Key_Escape);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !trend; })) << "gone, the main window still runs";
        dlg.m_trend.Open(); // again, for the main window's end to close
        EXPECT_TRUE(dlg.m_trend.IsOpen());
        dlg.EndDialog(IDOK);
    };
    RunModal(dlg, script, 12000);
    DisconnectBoard();
    EXPECT_EQ(closer.seen,
              std::vector<std::string>{"Korvane: Could not write " + path + ": No space left on device."});
    const std::string csv{std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}};
    EXPECT_TRUE(csv.starts_with("t_ms,x,y,left,right\n0,128,64,UP,DOWN\n")) << csv;
    EXPECT_GE(apptest::Count(csv, ",128,64,"), 9) << "rows from before and after the board was lost";
    EXPECT_EQ(dlg.m_trend.GetSafeHwnd(), nullptr) << "closed with the main window";
}
