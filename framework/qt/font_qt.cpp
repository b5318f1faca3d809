// Fonts and dialog units.
#include "qt_internal.h"

#include "../winapp.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QString>

#include <cstdio>

namespace {

// The template face itself: Debian's fonts-wine ships a free "MS Sans Serif" with the glyph widths
// the templates were laid out for (base units 6x13 at 8 pt). It is not in fontconfig's list, so the
// framework adds the file to the application's fonts.
constexpr const char* kTemplateFamily = "MS Sans Serif";
// Without that file: the installed face with the same base units, whose glyphs are a little wider.
constexpr const char* kFallbackFamily = "DejaVu Sans Condensed";

// Template fonts of the Windows dialog world; a null family means the dialog face above.
struct FontAlias {
    const char* templateName;
    const char* family;
};
constexpr FontAlias kFontAliases[] = {
    {"MS Sans Serif", nullptr},        {"MS Shell Dlg", nullptr}, {"MS Shell Dlg 2", nullptr},
    {"Microsoft Sans Serif", nullptr}, {"Tahoma", nullptr},       {"System", "DejaVu Sans"},
};

// The family that stands for the template face: empty until a face is loaded.
QString& DialogFace() {
    static QString face;
    return face;
}

// Files already added to the application's fonts (adding one twice would list its family twice).
QStringList& LoadedFiles() {
    static QStringList files;
    return files;
}

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

bool LoadDialogFace(const char* path) {
    QString file = QString::fromUtf8(path ? path : "");
    bool loaded = LoadedFiles().contains(file);
    if (!loaded) {
        int id = QFontDatabase::addApplicationFont(file);
        loaded = id >= 0 && QFontDatabase::applicationFontFamilies(id).contains(kTemplateFamily);
        if (loaded) LoadedFiles() << file;
    }
    DialogFace() = QString::fromUtf8(loaded ? kTemplateFamily : kFallbackFamily);
    if (!loaded) {
        CWinApp* app = AfxGetApp();
        std::fprintf(stderr,
                     "%s: no \"%s\" face in %s (Debian package fonts-wine): dialogs use %s, "
                     "whose wider glyphs may cut labels short\n",
                     app ? app->m_strExeName.c_str() : "program", kTemplateFamily, file.toUtf8().constData(),
                     kFallbackFamily);
    }
    return loaded;
}

void LoadDialogFaceOnce() {
    static const bool loaded = LoadDialogFace(kDialogFaceFile);
    (void)loaded;
}

QFont DialogFont(const char* name, int pointSize) {
    LoadDialogFaceOnce();
    QString family = QString::fromUtf8(name && name[0] ? name : kTemplateFamily);
    for (const FontAlias& alias : kFontAliases) {
        if (family.compare(QString::fromUtf8(alias.templateName), Qt::CaseInsensitive) != 0) continue;
        family = alias.family ? QString::fromUtf8(alias.family) : DialogFace();
        break;
    }
    QFont font(family);
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
