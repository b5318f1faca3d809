// Painting with GDI rules, checked pixel by pixel on the window as it is on the screen.
#include "helpers.h"
#include "test_dialog.h"

namespace {

constexpr COLORREF kGrey = RGB(220, 220, 220), kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255);
constexpr COLORREF kBand = RGB(200, 200, 200);
constexpr COLORREF kBackground = 0xFFFFFFFF; // not a colour: whatever the erased background is

QRgb Rgb(COLORREF c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

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
        {20, 149, kGrey},       {20, 150, kBackground},  {20, 99, kBackground},   {30, 160, kRed},
        {79, 160, kRed},        {80, 160, kBackground},  {61, 170, kRed},         {60, 170, kBackground},
        {100, 100, kRed},       {110, 105, kBackground}, {50, 159, kBackground},  {250, 100, kRed},
        {265, 115, kBlue},      {281, 131, kRed},        {250, 131, kBackground}, {104, 102, kRed},
        {19, 120, kBackground}, {21, 120, kBackground},  {90, 170, kRed}};
    CTestDlg dlg;
    int shift = 0;
    bool erase = false;
    COLORREF firstPen = 0, replacedPen = 0;
    dlg.onPaint = [&](CDC& dc) {
        CRect rc;
        dlg.GetClientRect(rc);
        if (erase)
            return dc.FillSolidRect(rc, kRed), void(dlg.SendMessage(WM_ICONERASEBKGND, WPARAM(dc.m_hDC), 0));
        auto line = [&dc](int x0, int y0, int x1, int y1) { dc.MoveTo(x0, y0), dc.LineTo(x1, y1); };
        CPen grey(PS_SOLID, 1, kGrey), red(PS_SOLID, 1, kRed);
        CPen* first = dc.SelectObject(&grey); // hands back the stock pen, then the one it replaces
        line(20 + shift, 100, 20 + shift, 150);
        firstPen = first ? first->Color() : 1, replacedPen = dc.SelectObject(&red)->Color();
        line(30, 160, 80, 160), line(90, 170, 60, 170), line(100, 100, 110, 105);
        dc.SelectObject(first);
        dc.SetBkColor(kBand), dc.SetTextColor(kRed);
        dc.TextOut(120, 200, "Ch0: 1.50V", 10);
        dc.DrawIcon(250, 100, AfxGetApp()->LoadIcon(IDI_TEST));
    };
    QImage img, again, erased;
    int result = RunModal(dlg, [&](QWidget* w) {
        auto repaint = [&] {
            const int before = dlg.paints;
            if (before) dlg.InvalidateRect(nullptr, TRUE), dlg.UpdateWindow();
            EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.paints > before; }));
            return ScreenImage(w);
        };
        img = repaint(), shift = 20, again = repaint(), erase = true, erased = repaint();
        dlg.EndDialog(IDOK);
    });
    const QRgb background = img.pixel(5, 250);
    std::vector<QRgb> got, wanted;
    for (auto [x, y, colour] : probes)
        got.push_back(img.pixel(x, y)), wanted.push_back(colour == kBackground ? background : Rgb(colour));
    const QFontMetrics metrics(afx_detail::SystemFont());
    const QRect band(120, 200, metrics.horizontalAdvance("Ch0: 1.50V"), metrics.height());
    int red = 0, outside = 0, other = 0, lowest = -1;
    for (int y = band.top() - 16; y <= band.bottom() + 16; ++y)
        for (int x = band.left() - 16; x <= band.right() + 16; ++x) {
            const QRgb p = img.pixel(x, y);
            const bool text = p == Rgb(kRed), in = band.contains(x, y);
            red += text, outside += (text || p == Rgb(kBand)) && !in, other += in && !text && p != Rgb(kBand);
            if (text) lowest = y;
        }
    EXPECT_EQ(got, wanted) << "probes in table order";
    // The text in its colour, nothing of it or its background outside the band, no antialiased
    // pixels and no gap inside, the glyphs on the baseline; the old line gone, the red fill erased.
    EXPECT_EQ((std::tuple{result, firstPen, replacedPen, red > 40, outside, other, lowest,
                          again.pixel(20, 120), again.pixel(40, 120), erased.pixel(150, 250)}),
              (std::tuple{IDOK, RGB(0, 0, 0), kGrey, true, 0, 0, band.top() + metrics.ascent() - 1,
                          background, Rgb(kGrey), background}));
}
