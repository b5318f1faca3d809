// The readout display, pixel by pixel on the real window: one table of readings drives the
// crosshair checks at both parities of the plot height; then the voltage lines (also under a comma
// locale), the switch between the two pictures, and what an invalidation repaints.
#include "program_fixture.h"

#include <QFontMetrics>
#include <QImage>

#include <clocale>

namespace {

constexpr QRgb kRed = qRgb(255, 0, 0), kGrey = qRgb(220, 220, 220), kBand = qRgb(200, 200, 200);

// The main dialog without a board: readings are set by the test, nothing polls.
class CFixedDlg : public CKorvaneDlg {
public:
    BOOL OnInitDialog() override { return CDialog::OnInitDialog(); }
};

QImage Picture(QWidget* w) {
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Runs `script` on the shown window (client 359 x `height`) with readings x, y and `volts`, in DVM
// mode when `dvm`.
void WithWindow(int height, uint8_t x, uint8_t y, float volts, bool dvm,
                const std::function<void(CFixedDlg&, QWidget*)>& script) {
    g_byTiltX = x;
    g_byTiltY = y;
    std::fill(std::begin(g_fVoltage), std::end(g_fVoltage), volts);
    CFixedDlg dlg;
    apptest::ProgramRun run;
    run.onMain = [&](QWidget* w) {
        w->setFixedSize(359, height);
        dlg.CheckDlgButton(IDC_TILT, dvm ? BST_UNCHECKED : BST_CHECKED);
        dlg.CheckDlgButton(IDC_DVM, dvm ? BST_CHECKED : BST_UNCHECKED);
        script(dlg, w);
        dlg.EndDialog(IDOK);
    };
    EXPECT_EQ(run.Run(dlg), IDOK);
}

} // namespace

// Client 359 wide: L 4, R 349, W 345. Height 323 gives T 20, B 303, H 283 (odd); 324 gives H 284.
// Probes stay clear of the controls that stand over the plot's edges.
TEST(Display, TheCrosshairStandsWhereTheReadingsPutItAndNeverOnTheFarEdges) {
    const struct {
        uint8_t x, y;
        int height, column, row, greyRow; // expected red column and row, and the grey row
    } rows[] = {
        {0, 0, 323, 4, 303, 161},       // before the first answer: left and bottom edges
        {255, 255, 323, 347, 22, 161},  // L + 255W/256 and B - 255H/256
        {128, 128, 323, 176, 162, 161}, // odd H: one pixel below the grey row
        {128, 128, 324, 176, 162, 162}, // even H: on it
        {1, 254, 324, 5, 23, 162},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << int(r.x) << "," << int(r.y) << " height " << r.height);
        WithWindow(r.height, r.x, r.y, 0, false, [&](CFixedDlg&, QWidget* w) {
            QImage img = Picture(w);
            auto red = [&](int x, int y) { return img.pixel(x, y) == kRed ? 'R' : '.'; };
            auto grey = [&](int x, int y) { return img.pixel(x, y) == kGrey ? 'g' : red(x, y); };
            std::string seen, expected;
            for (int y : {60, 250}) { // the column alone, the grey one, never on R
                seen +=
                    {red(r.column - 1, y), red(r.column, y), red(r.column + 1, y), grey(176, y), red(349, y)};
                expected += {'.', 'R', '.', r.column == 176 ? 'R' : 'g', '.'};
            }
            for (int x : {7, 200}) {
                seen += {red(x, r.row - 1), red(x, r.row), red(x, r.row + 1)};
                expected += ".R.";
            }
            seen += {grey(100, r.greyRow), red(348, r.row)}; // the line leaves out its end point
            expected += {r.greyRow == r.row ? 'R' : 'g', '.'};
            for (int x = 180; x < 270; ++x) seen += red(x, 20) == 'R' ? "on T" : "";
            if (r.x == 0) seen += {red(4, 301), red(4, 302)}; // the column leaves out its end point
            EXPECT_EQ(seen, expected + (r.x == 0 ? "R." : ""));
        });
    }
}

// Seven lines at (L + 15, T + 70 + 20 i), each on its band, the band exactly as wide as its text in
// the context's default font, no red outside the bands, no crosshair; the same pixels where the
// language writes a decimal comma. Every restored paint exchanges the fields.
TEST(Display, DvmWritesSevenVoltageLinesOnTheirBandsInAnyLocale) {
    const QFontMetrics metrics(afx_detail::SystemFont());
    QImage lines[2];
    const std::string dir = "/tmp/korvane-locale-" + std::to_string(getpid());
    for (int comma : {0, 1}) {
        if (comma) { // as the program starts: QApplication takes the environment's locale, then the framework
            setenv("LC_ALL", "de_DE.UTF-8", 1);
            if (!std::setlocale(LC_ALL, "") &&
                std::filesystem::create_directories(dir)) { // only for this test
                EXPECT_EQ(std::system(("localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8").c_str()), 0);
                setenv("LOCPATH", dir.c_str(), 1);
            }
            EXPECT_STREQ(std::setlocale(LC_ALL, "") ? std::localeconv()->decimal_point : "", ",");
            AfxInitPlatform();
        }
        WithWindow(323, 128, 128, 0, false, [&](CFixedDlg& dlg, QWidget* w) {
            const float volts[7] = {0.0f, 1.0f, 2.5f, 3.0f, -5.0f, 4.5f, 5.0f};
            std::copy(std::begin(volts), std::end(volts), std::begin(g_fVoltage));
            EXPECT_EQ(Picture(w).pixel(176, 60), kRed);
            dlg.CheckDlgButton(IDC_TILT, BST_UNCHECKED);
            dlg.CheckDlgButton(IDC_DVM, BST_CHECKED);
            QImage img = Picture(w);
            lines[comma] = img.copy(19, 86, 160, 140);
            EXPECT_EQ(dlg.m_nMode, 1) << "the paint read the radio group";
            for (int i = 0; i < 7; ++i) {
                const char* texts[] = {"Ch0: 0.00V",  "Ch1: 1.00V", "Ch2: 2.50V", "Ch3: 3.00V",
                                       "Ch4: -5.00V", "Ch5: 4.50V", "Ch6: 5.00V"};
                const int top = 20 + 70 + 20 * i;
                int width = 0, red = 0, redOutside = 0;
                while (img.pixel(19 + width, top) == kBand) ++width;
                for (int y = top - 4; y < top + 20; ++y)
                    for (int x = 19; x < 19 + width; ++x)
                        (y >= top && y < top + metrics.height() ? red : redOutside) +=
                            img.pixel(x, y) == kRed;
                EXPECT_EQ(std::tuple(width, img.pixel(18, top) != kBand, red > 30, redOutside),
                          std::tuple(metrics.horizontalAdvance(texts[i]), true, true, 0))
                    << texts[i] << ": the band as wide as the text, red inside it only";
            }
            EXPECT_TRUE(img.pixel(176, 60) != kRed && img.pixel(176, 60) != kGrey) << "no crosshair in DVM";
            dlg.SetDlgItemText(IDC_XVALUE, "typed");
            Picture(w);
            EXPECT_EQ(dlg.m_strX, "typed");
        });
    }
    unsetenv("LC_ALL");
    std::setlocale(LC_ALL, "C");
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(lines[0] == lines[1]) << "the comma locale's lines are the same pixels";
}

// A tick's whole-area invalidation repaints only what changed, as on Windows: nothing for the same
// readings, the crosshair's old column once it moves (not the whole window), and the edit field's
// face only when its text changed. The pixels stay what a whole repaint would give.
TEST(Display, AnInvalidationRepaintsOnlyWhatChanged) {
    WithWindow(323, 128, 128, 0, false, [&](CFixedDlg& dlg, QWidget* w) {
        struct : QObject {
            bool eventFilter(QObject* o, QEvent* e) override {
                if (e->type() == QEvent::Paint)
                    (o == field ? onField : onDialog) += static_cast<QPaintEvent*>(e)->region();
                return false;
            }
            QWidget* field = nullptr;
            QRegion onDialog, onField;
        } seen;
        dlg.InvalidateRect(nullptr, TRUE); // the first one has no picture to compare with
        dlg.UpdateWindow();
        seen.field = AfxQtControl(&dlg, IDC_XVALUE);
        w->installEventFilter(&seen);
        seen.field->installEventFilter(&seen);
        const QPoint face = seen.field->rect().center();
        for (auto [x, text, expected] :
             {std::tuple{128, "", "..."}, {200, "", "OP."}, {200, "22", ".PF"}, {200, "22", "..."}}) {
            seen.onDialog = seen.onField = QRegion();
            g_byTiltX = static_cast<uint8_t>(x);
            dlg.m_strX = text;
            dlg.UpdateData(FALSE);
            dlg.InvalidateRect(nullptr, TRUE);
            dlg.UpdateWindow();
            (void)QTest::qWaitFor([&] { return seen.onField.contains(face); },
                                  expected[2] == 'F' ? 2000 : 50);
            const bool part = !seen.onDialog.isEmpty() && !(QRegion(w->rect()) - seen.onDialog).isEmpty();
            const std::string got{seen.onDialog.contains(QPoint(176, 250)) ? 'O' : '.', part ? 'P' : '.',
                                  seen.onField.contains(face) ? 'F' : '.'};
            EXPECT_EQ(got, expected) << "x " << x << ", text \"" << text << "\"";
        }
        w->removeEventFilter(&seen);
        seen.field->removeEventFilter(&seen);
    });
}
