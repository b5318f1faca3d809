// The program's main dialog offscreen, in this process, as korvane runs it (the application object
// named "korvane", so its profile and COM port are the program's):
//
//   bench_app connect COM RUNS       ConnectDevice on COM<COM>, RUNS times: wall and CPU time of each
//   bench_app poll tilt|dvm SECONDS [trend]
//                                    the dialog connects through its profile and polls; in dvm mode
//                                    the DVM radio button is clicked as an operator clicks it; with
//                                    "trend" the trend window is opened beside it. After a few ticks
//                                    in that mode, SECONDS of polling are measured: the wall time of
//                                    every tick (OnTimer, repaint request included) and the CPU time
//                                    of the whole process (painting included).
//   bench_app paint RUNS             the trend window 640 x 400, DVM, fed 60 s of ticks (7 channels
//                                    of 600 points that move every tick): the time of RUNS paints
//   bench_app reopen COM RUNS        against a board that unplugs after its first poll, returns 2 s
//                                    later and then stays silent: the wall time of RUNS reopening
//                                    ticks while the device is absent, then of RUNS while it is back
//                                    but silent (the probes' stall). The tick count is handed to
//                                    PollTick, so attempts are due at once instead of 1 s / 5 s apart.
//
// Each prints one JSON object on standard output.
#include "BoardLink.h"
#include "KorvaneApp.h"
#include "KorvaneDlg.h"
#include "res/resource.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <qt/qt_access.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Ticks in the measured mode before the measurement starts.
constexpr int kWarmUpTicks = 5;
// A run that has not finished this long after its measurement should have is ended as failed.
constexpr int kSlackMs = 30000;
// Result of the dialog when that time limit ended it.
constexpr int kTimedOut = -99;

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// CPU time of this process so far (every thread), in seconds.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string JsonList(const std::vector<double>& values) {
    std::string list;
    char number[32];
    for (double v : values) {
        std::snprintf(number, sizeof number, "%s%.4f", list.empty() ? "" : ",", v);
        list += number;
    }
    return "[" + list + "]";
}

// Message boxes closed by CloseBoxesEvery.
int g_boxesClosed = 0;

// Closes every message box that opens, so that a failure is reported instead of waited on.
void CloseBoxesEvery(QTimer& timer, int periodMs) {
    QObject::connect(&timer, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                std::fprintf(stderr, "bench_app: closed a message box: %s\n",
                             box->text().toUtf8().constData());
                box->done(QMessageBox::Ok);
                ++g_boxesClosed;
            }
        }
    });
    timer.start(periodMs);
}

int RunConnect(int com, int runs) {
    QTimer closer;
    CloseBoxesEvery(closer, 500);
    CKorvaneDlg dlg; // never shown: ConnectDevice uses no member of the dialog
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        double cpuBefore = CpuSeconds();
        Clock::time_point start = Clock::now();
        int result = dlg.ConnectDevice(com);
        wall.push_back(MsSince(start));
        cpu.push_back((CpuSeconds() - cpuBefore) * 1000);
        if (result != 0) {
            std::fprintf(stderr, "bench_app: ConnectDevice(%d) returned %d\n", com, result);
            return 1;
        }
    }
    std::printf("{\"wall_ms\":%s,\"cpu_ms\":%s,\"baud\":%d}\n", JsonList(wall).c_str(), JsonList(cpu).c_str(),
                ConnectedBaud());
    DisconnectBoard();
    return 0;
}

// Reopening ticks until `runs` of them ran an attempt that gave `wanted`; their wall times.
std::vector<double> TimeReopening(int runs, BoardEvent wanted, uint32_t* now) {
    std::vector<double> wall;
    for (int guard = 0; static_cast<int>(wall.size()) < runs && guard < 100 * runs; ++guard) {
        *now += kReopenAfterNoAnswerMs;
        Clock::time_point start = Clock::now();
        TickOutcome tick = PollTick(PollKind::Tilt, *now);
        if (tick.attempted && tick.event == wanted) wall.push_back(MsSince(start));
        if (tick.attempted && tick.event != wanted) QTest::qWait(50); // the board is on its way
    }
    return wall;
}

int RunReopen(int com, int runs) {
    if (ConnectBoard(com) != CONNECT_OK)
        return std::fprintf(stderr, "bench_app: no board on COM%d\n", com), 1;
    StartPolling(com, true);
    uint32_t now = 0;
    for (int i = 0; i < 10 && CurrentBoardState() != BoardState::DeviceGone; ++i)
        PollTick(PollKind::Tilt, now += 100);
    if (CurrentBoardState() != BoardState::DeviceGone)
        return std::fprintf(stderr, "bench_app: the board stayed\n"), 1;
    std::vector<double> absent = TimeReopening(runs, BoardEvent::ReopenFailed, &now);
    std::vector<double> silent = TimeReopening(runs, BoardEvent::ReopenedNoAnswer, &now);
    DisconnectBoard();
    if (static_cast<int>(absent.size() + silent.size()) != 2 * runs)
        return std::fprintf(stderr, "bench_app: the board did not go and come back as asked\n"), 1;
    std::printf("{\"absent_ms\":%s,\"silent_ms\":%s}\n", JsonList(absent).c_str(), JsonList(silent).c_str());
    return 0;
}

// Measures the polling window: starts after kWarmUpTicks ticks in the wanted mode, ends (and ends
// the dialog) at the first tick that finishes `seconds` later.
struct Meter {
    Meter(int mode, double window) : wantedMode(mode), seconds(window) {}
    int wantedMode;
    double seconds;
    int warm = 0;
    bool measuring = false;
    bool done = false;
    int otherModeTicks = 0; ///< ticks in the other mode while measuring
    int disturbedTicks = 0; ///< ticks that showed "Error reading voltages." or ran inside its loop
    Clock::time_point start;
    double cpuAtStart = 0;
    std::vector<double> ticksMs;
    double wallSeconds = 0, cpuSeconds = 0;

    /// A tick that ended; `disturbed` when a message box opened in it or it ran inside one (its
    /// time is then the box's, or a skipped poll's, and is counted apart).
    void Tick(CDialog& dlg, int mode, double tookMs, bool disturbed) {
        if (done) return;
        if (!measuring) {
            if (mode == wantedMode && ++warm >= kWarmUpTicks) {
                measuring = true;
                start = Clock::now();
                cpuAtStart = CpuSeconds();
            }
            return;
        }
        otherModeTicks += mode != wantedMode;
        if (disturbed)
            ++disturbedTicks;
        else
            ticksMs.push_back(tookMs);
        if (MsSince(start) < seconds * 1000) return;
        wallSeconds = MsSince(start) / 1000;
        cpuSeconds = CpuSeconds() - cpuAtStart;
        done = true;
        dlg.EndDialog(IDOK);
    }
};

// The program's main dialog with a stopwatch around each tick.
class CTimedDlg : public CKorvaneDlg {
public:
    explicit CTimedDlg(Meter& meter) : m_meter(meter) {}

protected:
    void OnTimer(UINT_PTR id) override {
        const int mode = m_nMode; // the tick's exchange is chosen from the mode when it begins
        const int boxes = g_boxesClosed;
        Clock::time_point start = Clock::now();
        ++m_depth;
        CKorvaneDlg::OnTimer(id);
        --m_depth;
        m_meter.Tick(*this, mode, MsSince(start), m_depth > 0 || boxes != g_boxesClosed);
    }

private:
    Meter& m_meter;
    int m_depth = 0; ///< OnTimer calls on the stack: more than one inside a message box's loop
};

// Clicks the DVM radio button once the dialog is shown (as an operator does, on its indicator).
void ClickDvmWhenShown(QTimer& timer, CTimedDlg& dlg) {
    QObject::connect(&timer, &QTimer::timeout, [&timer, &dlg] {
        QWidget* w = AfxQtWidget(&dlg);
        QWidget* dvm = AfxQtControl(&dlg, IDC_DVM);
        if (!w || !w->isVisible() || !dvm) return;
        timer.stop();
        QTest::mouseClick(dvm, Qt::LeftButton, {}, QPoint(5, dvm->height() / 2));
    });
    timer.start(20);
}

int RunPoll(bool dvm, double seconds, bool trend) {
    Meter meter(dvm ? 1 : 0, seconds);
    CTimedDlg dlg(meter);
    theApp.m_pMainWnd = &dlg;
    QTimer clicker, closer;
    if (dvm) ClickDvmWhenShown(clicker, dlg);
    if (trend) QTimer::singleShot(0, [&dlg] { dlg.SendMessage(WM_SYSCOMMAND, IDM_TREND, 0); });
    CloseBoxesEvery(closer, 50);
    QTimer::singleShot(static_cast<int>(seconds * 1000) + kSlackMs, [&dlg] { dlg.EndDialog(kTimedOut); });
    const INT_PTR result = dlg.DoModal();
    if (result != IDOK || !meter.done) {
        std::fprintf(stderr, "bench_app: the dialog ended before the measurement did (%d)\n", int(result));
        return 1;
    }
    std::printf("{\"mode\":\"%s\",\"ticks_ms\":%s,\"other_mode_ticks\":%d,\"disturbed_ticks\":%d,\"wall_s\":%"
                ".4f,\"cpu_s\":%.4f,"
                "\"maxrss_kb\":%ld,\"tilt\":[%d,%d],\"volts\":[%.3f,%.3f,%.3f,%.3f,%.3f,%.3f,%.3f]}\n",
                dvm ? "dvm" : "tilt", JsonList(meter.ticksMs).c_str(), meter.otherModeTicks,
                meter.disturbedTicks, meter.wallSeconds, meter.cpuSeconds, PeakRssKb(), g_byTiltX, g_byTiltY,
                double(g_fVoltage[0]), double(g_fVoltage[1]), double(g_fVoltage[2]), double(g_fVoltage[3]),
                double(g_fVoltage[4]), double(g_fVoltage[5]), double(g_fVoltage[6]));
    return 0;
}

int RunPaint(int runs) {
    CTrendDlg trend(nullptr);
    if (!trend.Create()) return 1;
    QWidget* w = AfxQtWidget(&trend);
    w->resize(640, 400);
    if (!QTest::qWaitForWindowExposed(w)) return 1;
    TrendSample sample;
    sample.valid = true;
    for (int k = 0; k <= 600; ++k) {
        sample.tMs = k * 100;
        for (int c = 0; c < 7; ++c) sample.volts[c] = static_cast<float>(4.5 * std::sin(k * 0.05 + c));
        trend.Record(PollMode::Dvm, sample);
    }
    std::vector<double> paints;
    for (int i = 0; i < runs; ++i) {
        Clock::time_point start = Clock::now();
        w->repaint();
        paints.push_back(MsSince(start));
    }
    std::printf("{\"paint_ms\":%s}\n", JsonList(paints).c_str());
    return 0;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: bench_app connect COM RUNS | reopen COM RUNS | poll tilt|dvm SECONDS [trend] | paint RUNS\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    theApp.SetExeName("korvane"); // the program's own profile
    AfxInitPlatform();
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "connect" && argc == 4) return RunConnect(std::atoi(argv[2]), std::atoi(argv[3]));
    if (mode == "reopen" && argc == 4) return RunReopen(std::atoi(argv[2]), std::atoi(argv[3]));
    const bool trend = argc == 5 && std::string(argv[4]) == "trend";
    if (mode == "poll" && (argc == 4 || trend) &&
        (std::string(argv[2]) == "tilt" || std::string(argv[2]) == "dvm"))
        return RunPoll(std::string(argv[2]) == "dvm", std::atof(argv[3]), trend);
    if (mode == "paint" && argc == 3) return RunPaint(std::atoi(argv[2]));
    return Usage();
}
