// The readout display, pixel by pixel on the real window: one table of readings drives the
// crosshair checks at both parities of the plot height; then the voltage lines, the switch between
// the two pictures, and the minimised window.
#include "KorvaneDlg.h"

#include "BoardLink.h"
#include "helpers.h"
#include "res/resource.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintEvent>

#include <gtest/gtest.h>

#include <qt/qt_access.h>

#include <clocale>
#include <filesystem>

namespace {

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kGrey = qRgb(220, 220, 220);
constexpr QRgb kBand = qRgb(200, 200, 200);

// The main dialog without a board: readings are set by the test, nothing polls.
class CFixedDlg : public CKorvaneDlg {
public:
    int paints = 0;
    BOOL OnInitDialog() override { return CDialog::OnInitDialog(); }

protected:
    void OnPaint() override {
        CKorvaneDlg::OnPaint();
        ++paints;
    }
};

// The window as painted now (its controls included).
QImage Picture(QWidget* w) {
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Runs `script` on the shown window of a fixed-reading dialog of client height `height`.
void WithWindow(int height, const std::function<void(CFixedDlg&, QWidget*)>& script) {
    CFixedDlg dlg;
    int result = RunModal(dlg, [&](QWidget* w) {
        w->setFixedSize(359, height);
        script(dlg, w);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(result, IDOK);
}

// Counts a widget's paint events that cover its centre: its face, not the touch-ups of a frame's
// corners where the dialog shows through.
struct FacePaints : QObject {
    explicit FacePaints(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        const QPoint centre = static_cast<QWidget*>(o)->rect().center();
        count += e->type() == QEvent::Paint && static_cast<QPaintEvent*>(e)->region().contains(centre);
        return false;
    }
    int count = 0;
};

void SetReadings(uint8_t x, uint8_t y, float volts) {
    g_byTiltX = x;
    g_byTiltY = y;
    std::fill(std::begin(g_fVoltage), std::end(g_fVoltage), volts);
}

} // namespace

// Client 359 wide: L 4, R 349, W 345. Height 323 gives T 20, B 303, H 283 (odd); 324 gives H 284.
// Probes stay clear of the controls that stand over the plot's edges.
TEST(Display, TheCrosshairStandsWhereTheReadingsPutItAndNeverOnTheFarEdges) {
    struct Row {
        uint8_t x, y;
        int height;
        int column, row, greyRow; // expected red column and row, and the grey row
    } rows[] = {
        {0, 0, 323, 4, 303, 161},       // before the first answer: left and bottom edges
        {255, 255, 323, 347, 22, 161},  // L + 255W/256 and B - 255H/256
        {128, 128, 323, 176, 162, 161}, // odd H: one pixel below the grey row
        {128, 128, 324, 176, 162, 162}, // even H: on it
        {1, 254, 324, 5, 23, 162},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << int(r.x) << "," << int(r.y) << " height " << r.height);
        SetReadings(r.x, r.y, 0);
        WithWindow(r.height, [&](CFixedDlg&, QWidget* w) {
            QImage img = Picture(w);
            for (int y : {60, 250}) {
                EXPECT_EQ(img.pixel(r.column, y), kRed) << "red column at " << y;
                EXPECT_TRUE(img.pixel(r.column - 1, y) != kRed && img.pixel(r.column + 1, y) != kRed);
                EXPECT_EQ(img.pixel(176, y), r.column == 176 ? kRed : kGrey) << "grey column";
                EXPECT_NE(img.pixel(349, y), kRed) << "never on R";
            }
            for (int x : {7, 200}) {
                EXPECT_EQ(img.pixel(x, r.row), kRed) << "red row at " << x;
                EXPECT_TRUE(img.pixel(x, r.row - 1) != kRed && img.pixel(x, r.row + 1) != kRed);
            }
            EXPECT_EQ(img.pixel(100, r.greyRow), r.greyRow == r.row ? kRed : kGrey) << "grey row";
            EXPECT_NE(img.pixel(348, r.row), kRed) << "the line leaves out its end point";
            for (int x = 180; x < 270; ++x) EXPECT_NE(img.pixel(x, 20), kRed) << "never on T, at " << x;
            if (r.x == 0) {
                EXPECT_EQ(img.pixel(4, 301), kRed);
                EXPECT_NE(img.pixel(4, 302), kRed) << "the column leaves out its end point";
            }
        });
    }
}

// Seven lines at (L + 15, T + 70 + 20 i), each on its band, the band exactly as wide as its text in
// the context's default font, no red outside the bands; the switch from the crosshair shows at the
// next paint, and every restored paint exchanges the fields.
TEST(Display, DvmWritesSevenVoltageLinesOnTheirBands) {
    const float volts[7] = {0.0f, 1.0f, 2.5f, 3.0f, -5.0f, 4.5f, 5.0f};
    const char* texts[7] = {"Ch0: 0.00V",  "Ch1: 1.00V", "Ch2: 2.50V", "Ch3: 3.00V",
                            "Ch4: -5.00V", "Ch5: 4.50V", "Ch6: 5.00V"};
    SetReadings(128, 128, 0);
    std::copy(std::begin(volts), std::end(volts), std::begin(g_fVoltage));
    QFontMetrics metrics(afx_detail::SystemFont());
    WithWindow(323, [&](CFixedDlg& dlg, QWidget* w) {
        EXPECT_EQ(Picture(w).pixel(176, 60), kRed);
        dlg.CheckDlgButton(IDC_TILT, BST_UNCHECKED);
        dlg.CheckDlgButton(IDC_DVM, BST_CHECKED);
        QImage img = Picture(w);
        EXPECT_EQ(dlg.m_nMode, 1) << "the paint read the radio group";
        for (int i = 0; i < 7; ++i) {
            SCOPED_TRACE(texts[i]);
            int top = 20 + 70 + 20 * i, height = metrics.height();
            int width = 0;
            while (img.pixel(19 + width, top) == kBand) ++width;
            EXPECT_EQ(width, metrics.horizontalAdvance(texts[i])) << "band as wide as the text";
            EXPECT_NE(img.pixel(18, top), kBand);
            int red = 0, redOutside = 0;
            for (int y = top - 4; y < top + 20; ++y) {
                for (int x = 19; x < 19 + width; ++x)
                    (y >= top && y < top + height ? red : redOutside) += img.pixel(x, y) == kRed;
            }
            EXPECT_GT(red, 30) << "text in red inside its band";
            EXPECT_EQ(redOutside, 0) << "no red above or below the band";
        }
        EXPECT_NE(img.pixel(176, 60), kRed) << "no crosshair in DVM mode";
        EXPECT_NE(img.pixel(176, 60), kGrey);
        dlg.SetDlgItemText(IDC_XVALUE, "typed");
        Picture(w);
        EXPECT_EQ(dlg.m_strX, "typed");
    });
}

// Where the language writes a decimal comma, the voltage lines are the same pixels as with a point.
TEST(Display, VoltagesKeepTheirDecimalPointInACommaLocale) {
    SetReadings(0, 0, 2.5f);
    const std::string dir = "/tmp/korvane-locale-" + std::to_string(getpid());
    QImage lines[2];
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
        WithWindow(323, [&](CFixedDlg& dlg, QWidget* w) {
            dlg.CheckDlgButton(IDC_TILT, BST_UNCHECKED);
            dlg.CheckDlgButton(IDC_DVM, BST_CHECKED);
            lines[comma] = Picture(w).copy(19, 86, 160, 140);
        });
    }
    unsetenv("LC_ALL");
    std::setlocale(LC_ALL, "C");
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(lines[0] == lines[1]);
}

// A tick's whole-area invalidation repaints the dialog but not the face of the edit field standing on
// it (screenshots stay pixel for pixel as before): the field repaints only when its text changes.
TEST(Display, AFieldRepaintsWithTheDialogOnlyWhenItsTextChanged) {
    WithWindow(323, [&](CFixedDlg& dlg, QWidget*) {
        FacePaints field(AfxQtControl(&dlg, IDC_XVALUE));
        dlg.InvalidateRect(nullptr, TRUE); // the first one learns which pixels each control paints
        dlg.UpdateWindow();
        for (auto [text, paints] : {std::pair{"1", 1}, {"1", 0}, {"22", 1}, {"22", 0}}) {
            field.count = 0;
            dlg.m_strX = text;
            dlg.UpdateData(FALSE);
            dlg.InvalidateRect(nullptr, TRUE);
            dlg.UpdateWindow();
            EXPECT_TRUE(QTest::qWaitFor([&] { return field.count >= paints; }, 2000));
            QTest::qWait(20);
            EXPECT_EQ(field.count, paints) << text;
        }
    });
}

// A whole-area invalidation repaints only the pixels whose picture changed: nothing for the same
// readings; where the crosshair's column was and is once it moves, not the whole window.
TEST(Display, AnInvalidationRepaintsOnlyWhereThePictureChanged) {
    SetReadings(128, 128, 0);
    WithWindow(323, [&](CFixedDlg& dlg, QWidget* w) {
        dlg.InvalidateRect(nullptr, TRUE); // the first one has no picture to compare with
        dlg.UpdateWindow();
        struct : QObject {
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) region += static_cast<QPaintEvent*>(e)->region();
                return false;
            }
            QRegion region;
        } repainted;
        w->installEventFilter(&repainted);
        for (auto [x, moved] : {std::pair{uint8_t{128}, false}, {uint8_t{200}, true}}) {
            repainted.region = QRegion();
            g_byTiltX = x;
            dlg.InvalidateRect(nullptr, TRUE);
            dlg.UpdateWindow();
            QTest::qWait(20);
            EXPECT_EQ(repainted.region.contains(QPoint(176, 250)), moved) << "the old column, x " << int{x};
            EXPECT_EQ(repainted.region.isEmpty(), !moved);
            EXPECT_FALSE((QRegion(w->rect()) - repainted.region).isEmpty()) << "not the whole window";
        }
        w->removeEventFilter(&repainted);
    });
}

// Minimised: only the program icon, centred, and no data exchange.
TEST(Display, TheMinimisedWindowShowsOnlyItsIconCentredAndDoesNoExchange) {
    SetReadings(128, 128, 0);
    WithWindow(323, [&](CFixedDlg& dlg, QWidget* w) {
        Picture(w);
        g_rcPlot = CRect(1, 2, 3, 4);
        dlg.CheckDlgButton(IDC_TILT, BST_UNCHECKED);
        dlg.CheckDlgButton(IDC_DVM, BST_CHECKED);
        dlg.ShowWindow(SW_MINIMIZE);
        ASSERT_TRUE(dlg.IsIconic());
        int before = dlg.paints;
        QImage img = Picture(w);
        EXPECT_GT(dlg.paints, before);
        EXPECT_EQ(g_rcPlot.left + g_rcPlot.top + g_rcPlot.right + g_rcPlot.bottom, 10)
            << "g_rcPlot untouched";
        EXPECT_EQ(dlg.m_nMode, 0) << "no data exchange";
        const int x0 = (359 - 32 + 1) / 2, y0 = (323 - 32 + 1) / 2; // 164, 146
        EXPECT_EQ(img.pixel(x0 + 2, y0 + 16), kRed) << "the icon's crosshair";
        EXPECT_EQ(img.pixel(x0 + 16, y0 + 2), kRed);
        EXPECT_EQ(img.pixel(x0 + 16, y0 + 16), qRgb(255, 255, 255));
        EXPECT_NE(img.pixel(x0 - 1, y0 + 16), kRed) << "nothing beside the icon";
        EXPECT_NE(img.pixel(176, 60), kRed) << "no crosshair";
        dlg.ShowWindow(SW_RESTORE);
    });
}
