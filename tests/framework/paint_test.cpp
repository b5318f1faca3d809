// Painting with GDI rules, checked pixel by pixel on the window as it is on the screen.
#include "helpers.h"
#include "test_dialog.h"

#include <QScreen>
#include <QWindow>

#include <tuple>

namespace {

constexpr COLORREF kGrey = RGB(220, 220, 220);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kBand = RGB(200, 200, 200);
constexpr COLORREF kBackground = 0xFFFFFFFF; // not a colour: whatever the erased background is

constexpr auto Rgb = [](COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); };

QImage ScreenImage(QWidget* window) {
    QPixmap shot = window->windowHandle()->screen()->grabWindow(window->winId());
    return shot.toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

// Lines without their end points and one pixel wide; the icon and its transparent corner; the text
// band at (x, y) the text's advance wide and the system font's height high, its glyphs on the
// baseline and none beside it. Then a repaint on an erased background, and an icon erase.
TEST(Paint, LinesTextIconAndIconEraseLandOnGdiPixels) {
    const std::tuple<int, int, COLORREF> probes[] = {
        {20, 100, kGrey},       {20, 149, kGrey},        {20, 150, kBackground}, {20, 99, kBackground},
        {30, 160, kRed},        {79, 160, kRed},         {80, 160, kBackground}, {90, 170, kRed},
        {61, 170, kRed},        {60, 170, kBackground},  {100, 100, kRed},       {110, 105, kBackground},
        {50, 159, kBackground}, {50, 161, kBackground},  {250, 100, kRed},       {265, 115, kBlue},
        {281, 131, kRed},       {250, 131, kBackground},
    };
    CTestDlg dlg;
    int shift = 0;
    bool erase = false;
    dlg.onPaint = [&](CDC& dc) {
        if (erase) {
            CRect rc;
            dlg.GetClientRect(rc);
            dc.FillSolidRect(rc, kRed);
            dlg.SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
            return;
        }
        auto line = [&dc](int x0, int y0, int x1, int y1) { dc.MoveTo(x0, y0), dc.LineTo(x1, y1); };
        CPen grey(PS_SOLID, 1, kGrey), red(PS_SOLID, 1, kRed);
        CPen* first = dc.SelectObject(&grey);
        EXPECT_NE(first, nullptr) << "SelectObject hands back the stock pen";
        line(20 + shift, 100, 20 + shift, 150);
        EXPECT_EQ(dc.SelectObject(&red)->Color(), kGrey) << "SelectObject hands back the pen it replaces";
        line(30, 160, 80, 160);
        line(90, 170, 60, 170);
        line(100, 100, 110, 105);
        dc.SelectObject(first);
        dc.SetBkColor(kBand);
        dc.SetTextColor(kRed);
        dc.TextOut(120, 200, "Ch0: 1.50V", 10);
        dc.DrawIcon(250, 100, AfxGetApp()->LoadIcon(IDI_TEST));
    };
    QImage img, again, erased;
    int result = RunModal(dlg, [&](QWidget* w) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.paints > 0; }));
        img = ScreenImage(w);
        auto repaint = [&] {
            int before = dlg.paints;
            dlg.InvalidateRect(nullptr, TRUE);
            dlg.UpdateWindow();
            EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.paints > before; }));
            return ScreenImage(w);
        };
        shift = 20;
        again = repaint();
        erase = true;
        erased = repaint();
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(result, IDOK);
    QRgb background = img.pixel(5, 250);
    for (auto [x, y, colour] : probes) {
        EXPECT_EQ(img.pixel(x, y), colour == kBackground ? background : Rgb(colour))
            << "at " << x << "," << y;
    }
    for (int y = 100; y < 150; ++y) { // no antialiasing beside the vertical line
        EXPECT_EQ(img.pixel(19, y), background) << y;
        EXPECT_EQ(img.pixel(21, y), background) << y;
    }
    const QFontMetrics metrics(afx_detail::SystemFont());
    const QRect band(120, 200, metrics.horizontalAdvance("Ch0: 1.50V"), metrics.height());
    int red = 0, outside = 0, other = 0, lowest = -1;
    for (int y = band.top() - 16; y <= band.bottom() + 16; ++y) {
        for (int x = band.left() - 16; x <= band.right() + 16; ++x) {
            QRgb p = img.pixel(x, y);
            bool text = p == Rgb(kRed), in = band.contains(x, y);
            red += text;
            outside += (text || p == Rgb(kBand)) && !in;
            other += in && !text && p != Rgb(kBand);
            if (text) lowest = y;
        }
    }
    EXPECT_GT(red, 40) << "the text is in the text colour";
    EXPECT_EQ(outside, 0) << "text or its background outside the band";
    EXPECT_EQ(other, 0) << "no antialiased text pixels, no gap in the band";
    EXPECT_EQ(lowest, band.top() + metrics.ascent() - 1) << "the glyphs stand on the baseline";
    EXPECT_EQ(again.pixel(20, 120), background) << "the old line is gone";
    EXPECT_EQ(again.pixel(40, 120), Rgb(kGrey));
    EXPECT_EQ(erased.pixel(150, 250), background) << "the red fill was erased";
}
