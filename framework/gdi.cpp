// Platform-independent drawing state: rectangles, pens, the context's selections and colours.
#include "gdi.h"

#include <utility>

namespace {

CPen& StockBlackPen() {
    static CPen pen(PS_SOLID, 1, RGB(0, 0, 0));
    return pen;
}

} // namespace

void CRect::NormalizeRect() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
}

BOOL CGdiObject::DeleteObject() {
    BOOL was = m_bValid;
    m_bValid = FALSE;
    return was;
}

BOOL CPen::CreatePen(int style, int width, COLORREF color) {
    m_nStyle = style;
    m_nWidth = width;
    m_color = color;
    m_bValid = TRUE;
    return TRUE;
}

CDC* CDC::FromHandle(HDC hdc) {
    return reinterpret_cast<CDC*>(hdc);
}

CPen* CDC::SelectObject(CPen* pen) {
    CPen* previous = m_pPen;
    if (pen) m_pPen = pen;
    return previous;
}

POINT CDC::MoveTo(int x, int y) {
    POINT previous = m_pos;
    m_pos = {x, y};
    return previous;
}

COLORREF CDC::SetBkColor(COLORREF color) {
    return std::exchange(m_bkColor, color);
}

COLORREF CDC::SetTextColor(COLORREF color) {
    return std::exchange(m_textColor, color);
}

int CDC::SetBkMode(int mode) {
    return std::exchange(m_nBkMode, mode);
}

UINT CDC::SetTextAlign(UINT align) {
    return std::exchange(m_nTextAlign, align);
}

CDC::CDC() : m_pPen(&StockBlackPen()) {}
