// Drawing on a QPainter with GDI's pixel rules.
#include "qt_internal.h"

#include <QFontMetrics>
#include <QHash>

#include <cstdlib>
#include <vector>

struct DCSurface {
    QPainter* painter;
};

namespace {

void FillPixels(QPainter& p, int x, int y, int w, int h, COLORREF color) {
    p.fillRect(QRect(x, y, w, h), afx_detail::ToQColor(color));
}

// A one-pixel line from a up to b, b itself left out. Axis-parallel lines are filled rectangles;
// others are stepped with Bresenham's rule.
void ThinLine(QPainter& p, POINT a, POINT b, COLORREF color) {
    if (a.y == b.y) {
        if (a.x < b.x) FillPixels(p, a.x, a.y, b.x - a.x, 1, color);
        if (a.x > b.x) FillPixels(p, b.x + 1, a.y, a.x - b.x, 1, color);
        return;
    }
    if (a.x == b.x) {
        if (a.y < b.y) FillPixels(p, a.x, a.y, 1, b.y - a.y, color);
        if (a.y > b.y) FillPixels(p, a.x, b.y + 1, 1, a.y - b.y, color);
        return;
    }
    int dx = std::abs(b.x - a.x), sx = a.x < b.x ? 1 : -1;
    int dy = -std::abs(b.y - a.y), sy = a.y < b.y ? 1 : -1;
    int err = dx + dy;
    for (int x = a.x, y = a.y; x != b.x || y != b.y;) {
        FillPixels(p, x, y, 1, 1, color);
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

// The system font's height, ascent and the widths of the texts drawn in it. A window paints the
// same few texts on every repaint (the readings' lines), and measuring one means shaping it again.
struct SystemFontMetrics {
    int height = 0;
    int ascent = 0;
    mutable QHash<QString, int> widths;

    int Width(const QString& text) const {
        auto known = widths.constFind(text);
        if (known != widths.constEnd()) return *known;
        constexpr qsizetype kMostKept = 256; // a window that never repeats its texts starts over
        if (widths.size() >= kMostKept) widths.clear();
        return *widths.insert(text, QFontMetrics(afx_detail::SystemFont()).horizontalAdvance(text));
    }
};

const SystemFontMetrics& MetricsOfSystemFont() {
    static const SystemFontMetrics metrics = [] {
        const QFontMetrics measured(afx_detail::SystemFont());
        SystemFontMetrics m;
        m.height = measured.height();
        m.ascent = measured.ascent();
        return m;
    }();
    return metrics;
}

// A TextOut as it comes out: its text, colours and the device's pixel ratio.
constexpr COLORREF kNoBand = 0xFFFFFFFFu; // transparent background mode: no band behind the text
struct TextStampKey {
    QString text;
    COLORREF textColor;
    COLORREF band;
    qreal ratio;
    bool operator==(const TextStampKey&) const = default;
};

size_t qHash(const TextStampKey& key, size_t seed = 0) {
    return qHashMulti(seed, key.text, key.textColor, key.band);
}

// The pixels one TextOut sets, on an otherwise transparent image with room around the text for
// glyphs that reach past its box. The system font is never antialiased, so every pixel is either
// set whole (the text's colour, the band's) or left alone, and drawing the image sets exactly the
// pixels that drawing the text would. A window draws the same few lines on every repaint, and
// shaping them again each time was most of what its painting cost.
struct TextStamp {
    QImage image;
    int margin = 0;
};

const TextStamp& StampOf(const TextStampKey& key) {
    static QHash<TextStampKey, TextStamp> stamps;
    auto known = stamps.constFind(key);
    if (known != stamps.constEnd()) return *known;
    constexpr qsizetype kMostKept = 256; // a window that never repeats its texts starts over
    if (stamps.size() >= kMostKept) stamps.clear();
    const SystemFontMetrics& metrics = MetricsOfSystemFont();
    TextStamp stamp;
    stamp.margin = metrics.height;
    const int width = metrics.Width(key.text);
    stamp.image = QImage(QSize(width + 2 * stamp.margin, 3 * metrics.height) * key.ratio,
                         QImage::Format_ARGB32_Premultiplied);
    stamp.image.setDevicePixelRatio(key.ratio);
    stamp.image.fill(Qt::transparent);
    QPainter painter(&stamp.image);
    if (key.band != kNoBand) FillPixels(painter, stamp.margin, stamp.margin, width, metrics.height, key.band);
    painter.setFont(afx_detail::SystemFont());
    painter.setPen(afx_detail::ToQColor(key.textColor));
    // Qt puts y on the baseline, GDI on the top.
    painter.drawText(stamp.margin, stamp.margin + metrics.ascent, key.text);
    painter.end();
    return *stamps.insert(key, stamp);
}

} // namespace

namespace afx_detail {

DCSurface* BeginPaint(CWnd* wnd) {
    WndImpl* impl = wnd ? wnd->Impl() : nullptr;
    if (!impl || !impl->painter) return nullptr;
    impl->painter->setRenderHint(QPainter::Antialiasing, false);
    return new DCSurface{impl->painter};
}

} // namespace afx_detail

CDC::~CDC() {
    delete m_pSurface;
}

BOOL CDC::LineTo(int x, int y) {
    POINT from = m_pos;
    m_pos = {x, y};
    if (!m_pSurface) return TRUE;
    QPainter& p = *m_pSurface->painter;
    if (m_pPen->Width() <= 1) {
        ThinLine(p, from, m_pos, m_pPen->Color());
    } else {
        // Wide pens: Qt's own stroke with round ends, as GDI's default geometric pen.
        p.setPen(QPen(afx_detail::ToQColor(m_pPen->Color()), m_pPen->Width(), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(from.x, from.y, x, y);
    }
    return TRUE;
}

BOOL CDC::Polyline(const POINT* points, int count) {
    if (!m_pSurface || !points || count < 2) return TRUE;
    QPainter& p = *m_pSurface->painter;
    const COLORREF color = m_pPen->Color();
    // Qt's aliased stroke of a 1-px pen puts the same pixels as GDI's except that it keeps the end
    // point: all but the last line go to Qt in one call (fast for long series), the last one is
    // drawn here so that its end point stays out.
    if (count > 2) {
        static std::vector<QPoint> head; // grows to the longest series once, then is reused
        head.resize(static_cast<size_t>(count - 1));
        for (int i = 0; i < count - 1; ++i) head[static_cast<size_t>(i)] = QPoint(points[i].x, points[i].y);
        p.setPen(QPen(afx_detail::ToQColor(color), m_pPen->Width() <= 1 ? 0 : m_pPen->Width()));
        p.drawPolyline(head.data(), count - 1);
    }
    if (m_pPen->Width() <= 1) {
        ThinLine(p, points[count - 2], points[count - 1], color);
    } else {
        p.drawLine(points[count - 2].x, points[count - 2].y, points[count - 1].x, points[count - 1].y);
    }
    return TRUE;
}

// Where TextOut puts the top-left corner of a text `size` big for the alignment `align`.
static QPoint AlignedCorner(int x, int y, UINT align, QSize size, int ascent) {
    int left = (align & TA_CENTER) == TA_CENTER ? x - size.width() / 2
               : (align & TA_RIGHT)             ? x - size.width()
                                                : x;
    int top = (align & TA_BASELINE) == TA_BASELINE ? y - ascent : (align & TA_BOTTOM) ? y - size.height() : y;
    return QPoint(left, top);
}

BOOL CDC::TextOut(int x, int y, const char* text, int length) {
    if (!m_pSurface || !text || length <= 0) return TRUE;
    QPainter& p = *m_pSurface->painter;
    const SystemFontMetrics& metrics = MetricsOfSystemFont();
    const TextStampKey key{QString::fromUtf8(text, length), m_textColor,
                           m_nBkMode == OPAQUE ? m_bkColor : kNoBand,
                           p.device() ? p.device()->devicePixelRatioF() : 1.0};
    const QPoint corner =
        AlignedCorner(x, y, m_nTextAlign, QSize(metrics.Width(key.text), metrics.height), metrics.ascent);
    const TextStamp& stamp = StampOf(key);
    p.drawImage(corner.x() - stamp.margin, corner.y() - stamp.margin, stamp.image);
    return TRUE;
}

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
    if (!icon) return FALSE;
    if (m_pSurface) m_pSurface->painter->drawPixmap(x, y, afx_detail::IconPixmap(icon, true));
    return TRUE;
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color) {
    if (m_pSurface)
        FillPixels(*m_pSurface->painter, rect->left, rect->top, rect->right - rect->left,
                   rect->bottom - rect->top, color);
}

CPaintDC::CPaintDC(CWnd* wnd) {
    m_pSurface = afx_detail::BeginPaint(wnd);
    m_hDC = m_pSurface ? reinterpret_cast<HDC>(static_cast<CDC*>(this)) : nullptr;
}

CPaintDC::~CPaintDC() = default;
