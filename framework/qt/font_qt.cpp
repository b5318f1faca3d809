// Fonts and dialog units.
#include "qt_internal.h"

#include <QFontMetrics>
#include <QString>

#include <strings.h>

namespace {

// Template fonts of the Windows dialog world and the installed font with the same metrics:
// DejaVu Sans Condensed at 8 pt gives the 6x13 base units that MS Sans Serif 8 gives on Windows.
struct FontAlias {
    const char* templateName;
    const char* family;
};
constexpr FontAlias kFontAliases[] = {
    {"MS Sans Serif", "DejaVu Sans Condensed"},  {"MS Shell Dlg", "DejaVu Sans Condensed"},
    {"MS Shell Dlg 2", "DejaVu Sans Condensed"}, {"Microsoft Sans Serif", "DejaVu Sans Condensed"},
    {"Tahoma", "DejaVu Sans Condensed"},         {"System", "DejaVu Sans"},
};

// Windows sizes fonts at 96 dpi ("small fonts"); fixed here so that geometry does not depend on
// the X server's idea of the screen.
constexpr int kLogicalDpi = 96;

int MulDiv(int number, int numerator, int denominator) {
    long long product = static_cast<long long>(number) * numerator;
    long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

} // namespace

namespace afx_detail {

QFont DialogFont(const char* name, int pointSize) {
    const char* family = name && name[0] ? name : "MS Sans Serif";
    for (const FontAlias& alias : kFontAliases) {
        if (strcasecmp(alias.templateName, family) == 0) family = alias.family;
    }
    QFont font(QString::fromUtf8(family));
    font.setPixelSize(MulDiv(pointSize > 0 ? pointSize : 8, kLogicalDpi, 72));
    return font;
}

QSize BaseUnits(const QFont& font) {
    QFontMetrics metrics(font);
    int width =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((width / 26 + 1) / 2, metrics.height());
}

QRect DluToPixels(const QRect& dlu, QSize base) {
    return QRect(MulDiv(dlu.x(), base.width(), 4), MulDiv(dlu.y(), base.height(), 8),
                 MulDiv(dlu.width(), base.width(), 4), MulDiv(dlu.height(), base.height(), 8));
}

QFont SystemFont() {
    // Bold DejaVu Sans at 14 px is 16 px high, the height of the Windows system font; drawn
    // without antialiasing so that text pixels are as crisp as GDI's.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QColor ToQColor(COLORREF color) {
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
}

QString ToQString(const char* text) {
    return QString::fromUtf8(text ? text : "");
}

} // namespace afx_detail
