// Painting with GDI rules, checked pixel by pixel on the window as it is on the screen.
#include "helpers.h"
#include "test_dialog.h"

#include <QColor>

#include <gtest/gtest.h>

namespace {

QRgb Rgb(COLORREF c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

constexpr COLORREF kGrey = RGB(220, 220, 220);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBand = RGB(200, 200, 200);

// Draws the picture the tests look at; `shift` moves the grey line to show erasing.
// Records what SelectObject handed back (the pens die with the paint).
struct Selections {
    bool firstWasAPen = false;
    COLORREF secondColor = 0;
};

void DrawPicture(CDC& dc, int shift, Selections* sel) {
    CPen grey(PS_SOLID, 1, kGrey);
    CPen red(PS_SOLID, 1, kRed);
    CPen* first = dc.SelectObject(&grey);
    sel->firstWasAPen = first != nullptr;
    dc.MoveTo(20 + shift, 100);
    dc.LineTo(20 + shift, 150); // vertical, downwards
    sel->secondColor = dc.SelectObject(&red)->Color();
    dc.MoveTo(30, 160);
    dc.LineTo(80, 160); // horizontal, rightwards
    dc.MoveTo(90, 170);
    dc.LineTo(60, 170); // horizontal, leftwards
    dc.MoveTo(100, 100);
    dc.LineTo(110, 105); // diagonal
    dc.SelectObject(first);
    dc.SetBkColor(kBand);
    dc.SetTextColor(kRed);
    dc.TextOut(120, 200, "Ch0: 1.50V", 10);
    dc.DrawIcon(250, 100, AfxGetApp()->LoadIcon(IDI_TEST));
}

struct Painted {
    QImage first;  // after the first paint
    QImage second; // after InvalidateRect + UpdateWindow with the line moved
    Selections selections;
};

Painted PaintTwice() {
    CTestDlg dlg;
    Painted out;
    int shift = 0;
    dlg.onPaint = [&](CDC& dc) { DrawPicture(dc, shift, &out.selections); };
    RunModal(dlg, [&](QWidget* w) {
        WaitFor([&] { return dlg.paints > 0; });
        out.first = ScreenImage(w);
        shift = 20;
        int before = dlg.paints;
        dlg.InvalidateRect(nullptr, TRUE);
        dlg.UpdateWindow();
        WaitFor([&] { return dlg.paints > before; });
        out.second = ScreenImage(w);
        dlg.EndDialog(IDOK);
    });
    return out;
}

const Painted& Picture() {
    static const Painted painted = PaintTwice();
    return painted;
}

} // namespace

TEST(Paint, LineToLeavesOutTheEndPoint) {
    const QImage& img = Picture().first;
    QRgb background = img.pixel(5, 250);
    EXPECT_EQ(img.pixel(20, 100), Rgb(kGrey));
    EXPECT_EQ(img.pixel(20, 149), Rgb(kGrey));
    EXPECT_EQ(img.pixel(20, 150), background);
    EXPECT_EQ(img.pixel(20, 99), background);
    EXPECT_EQ(img.pixel(30, 160), Rgb(kRed));
    EXPECT_EQ(img.pixel(79, 160), Rgb(kRed));
    EXPECT_EQ(img.pixel(80, 160), background);
    EXPECT_EQ(img.pixel(90, 170), Rgb(kRed)); // leftwards: the start is drawn
    EXPECT_EQ(img.pixel(61, 170), Rgb(kRed));
    EXPECT_EQ(img.pixel(60, 170), background);
    EXPECT_EQ(img.pixel(100, 100), Rgb(kRed));
    EXPECT_EQ(img.pixel(110, 105), background);
}

TEST(Paint, LinesAreOnePixelWideWithoutAntialiasing) {
    const QImage& img = Picture().first;
    QRgb background = img.pixel(5, 250);
    for (int y = 100; y < 150; ++y) {
        EXPECT_EQ(img.pixel(19, y), background) << y;
        EXPECT_EQ(img.pixel(21, y), background) << y;
    }
    EXPECT_EQ(img.pixel(50, 159), background);
    EXPECT_EQ(img.pixel(50, 161), background);
}

TEST(Paint, SelectObjectReturnsThePenItReplaces) {
    EXPECT_TRUE(Picture().selections.firstWasAPen) << "a stock pen at first";
    EXPECT_EQ(Picture().selections.secondColor, kGrey);
}

TEST(Paint, TextOutPutsTheTopLeftAtXYOverAnOpaqueBand) {
    const QImage& img = Picture().first;
    QRgb background = img.pixel(5, 250);
    EXPECT_EQ(img.pixel(120, 200), Rgb(kBand)) << "band starts at (x, y)";
    EXPECT_EQ(img.pixel(119, 200), background);
    EXPECT_EQ(img.pixel(120, 199), background);
    EXPECT_EQ(img.pixel(120, 215), Rgb(kBand)) << "16 px high: the system font";
    EXPECT_EQ(img.pixel(120, 216), background);
    int red = 0, other = 0;
    for (int y = 200; y < 216; ++y) {
        for (int x = 120; x < 200; ++x) {
            QRgb p = img.pixel(x, y);
            if (p == Rgb(kRed))
                ++red;
            else if (p != Rgb(kBand) && p != background)
                ++other;
        }
    }
    EXPECT_GT(red, 40) << "the text is drawn in the text colour";
    EXPECT_EQ(other, 0) << "no antialiased text pixels";
}

TEST(Paint, DrawIconDrawsThe32PixelPicture) {
    const QImage& img = Picture().first;
    EXPECT_EQ(img.pixel(250, 100), Rgb(kRed));
    EXPECT_EQ(img.pixel(265, 115), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(281, 131), Rgb(kRed));
    EXPECT_EQ(img.pixel(250, 131), img.pixel(5, 250)) << "transparent pixel";
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CYICON), 32);
}

TEST(Paint, InvalidateRectRepaintsOnAnErasedBackground) {
    const QImage& img = Picture().second;
    QRgb background = img.pixel(5, 250);
    EXPECT_EQ(img.pixel(20, 120), background) << "the old line is gone";
    EXPECT_EQ(img.pixel(40, 120), Rgb(kGrey));
}

TEST(Paint, NormalizeRectSwapsReversedEdges) {
    CRect rc(10, 40, 4, 20);
    rc.NormalizeRect();
    EXPECT_EQ(rc.left, 4);
    EXPECT_EQ(rc.top, 20);
    EXPECT_EQ(rc.right, 10);
    EXPECT_EQ(rc.bottom, 40);
}

TEST(Paint, IconEraseFillsTheClientWithTheBackgroundAndIconicFollowsTheWindow) {
    CTestDlg dlg;
    CTestDlg* self = &dlg;
    dlg.onPaint = [self](CDC& dc) {
        CRect rc;
        self->GetClientRect(rc);
        dc.FillSolidRect(rc, kRed);
        self->SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
    };
    QImage img;
    BOOL iconic = FALSE, restored = TRUE;
    RunModal(dlg, [&](QWidget* w) {
        WaitFor([&] { return dlg.paints > 0; });
        img = ScreenImage(w);
        dlg.ShowWindow(SW_MINIMIZE);
        iconic = dlg.IsIconic();
        dlg.ShowWindow(SW_RESTORE);
        restored = dlg.IsIconic();
        dlg.EndDialog(IDOK);
    });
    EXPECT_NE(img.pixel(150, 250), Rgb(kRed)) << "the red fill was erased";
    EXPECT_TRUE(iconic);
    EXPECT_FALSE(restored);
}
