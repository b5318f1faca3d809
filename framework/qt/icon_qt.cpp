// Icons from icon resources.
#include "qt_internal.h"

#include "../winapp.h"

#include <QImage>
#include <QPixmap>

#include <cstdio>
#include <cstring>
#include <map>

// Images, not pixmaps: the cache outlives the QApplication, and only images may.
struct HICON__ {
    QImage big;
    QImage small;
};

namespace {

// A picture from key-character rows; null (with a reason) when the rows do not fit the size or
// use a key that the palette lacks.
QImage Picture(const IconImage& image, std::span<const IconPaletteEntry> palette, const char** why) {
    if (image.size <= 0 || image.rows.size() != static_cast<size_t>(image.size)) {
        *why = "row count differs from the size";
        return QImage();
    }
    QImage out(image.size, image.size, QImage::Format_ARGB32);
    for (int y = 0; y < image.size; ++y) {
        const char* row = image.rows[static_cast<size_t>(y)];
        if (!row || std::strlen(row) != static_cast<size_t>(image.size)) {
            *why = "a row's length differs from the size";
            return QImage();
        }
        for (int x = 0; x < image.size; ++x) {
            const IconPaletteEntry* entry = nullptr;
            for (const IconPaletteEntry& e : palette) {
                if (e.key == row[x]) entry = &e;
            }
            if (!entry) {
                *why = "a key is missing from the palette";
                return QImage();
            }
            QRgb rgb = entry->color == ICON_TRANSPARENT ? qRgba(0, 0, 0, 0)
                                                        : afx_detail::ToQColor(entry->color).rgb();
            out.setPixel(x, y, rgb);
        }
    }
    return out;
}

} // namespace

HICON CWinApp::LoadIcon(UINT id) const {
    static std::map<UINT, HICON__> cache;
    if (auto it = cache.find(id); it != cache.end()) return &it->second;
    const IconResource* res = AfxFindIconResource(id);
    if (!res) {
        std::fprintf(stderr, "%s: icon resource %u is not registered\n", m_strExeName.c_str(), id);
        return nullptr;
    }
    const char* why = nullptr;
    HICON__ icon{Picture(res->big, res->palette, &why), Picture(res->small, res->palette, &why)};
    if (icon.big.isNull() || icon.small.isNull()) {
        std::fprintf(stderr, "%s: icon resource %u is malformed: %s\n", m_strExeName.c_str(), id, why);
        return nullptr;
    }
    return &cache.emplace(id, std::move(icon)).first->second;
}

namespace afx_detail {

QPixmap IconPixmap(HICON icon, bool big) {
    if (!icon) return QPixmap();
    return QPixmap::fromImage(big ? icon->big : icon->small);
}

} // namespace afx_detail
