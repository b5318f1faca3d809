// Drawing with the real GDI: a painting context draws on the device context of the WM_PAINT that
// is being handled, whose font is the system font.
#include "win32_internal.h"

struct DCSurface {
    HDC hdc;
};

CDC::~CDC() {
    delete m_pSurface;
}

BOOL CDC::LineTo(int x, int y) {
    POINT from = m_pos;
    m_pos = {x, y};
    if (!m_pSurface) return TRUE;
    HDC dc = m_pSurface->hdc;
    HPEN pen = CreatePen(m_pPen->Style(), m_pPen->Width(), m_pPen->Color());
    HGDIOBJ old = ::SelectObject(dc, pen);
    MoveToEx(dc, from.x, from.y, nullptr);
    ::LineTo(dc, x, y);
    ::SelectObject(dc, old);
    ::DeleteObject(pen);
    return TRUE;
}

BOOL CDC::Polyline(const POINT* points, int count) {
    if (!m_pSurface || !points || count < 2) return TRUE;
    HDC dc = m_pSurface->hdc;
    HPEN pen = CreatePen(m_pPen->Style(), m_pPen->Width(), m_pPen->Color());
    HGDIOBJ old = ::SelectObject(dc, pen);
    ::Polyline(dc, points, count);
    ::SelectObject(dc, old);
    ::DeleteObject(pen);
    return TRUE;
}

BOOL CDC::TextOut(int x, int y, const char* text, int length) {
    if (!m_pSurface || !text || length <= 0) return TRUE;
    HDC dc = m_pSurface->hdc;
    ::SetTextAlign(dc, m_nTextAlign);
    ::SetBkColor(dc, m_bkColor);
    ::SetTextColor(dc, m_textColor);
    ::SetBkMode(dc, m_nBkMode);
    ::TextOutA(dc, x, y, text, length);
    return TRUE;
}

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
    if (!icon) return FALSE;
    if (m_pSurface) ::DrawIcon(m_pSurface->hdc, x, y, icon);
    return TRUE;
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color) {
    if (!m_pSurface) return;
    HBRUSH brush = CreateSolidBrush(color);
    ::FillRect(m_pSurface->hdc, rect, brush);
    ::DeleteObject(brush);
}

CPaintDC::CPaintDC(CWnd* wnd) {
    WndImpl* impl = wnd ? wnd->Impl() : nullptr;
    if (impl && impl->paintDc) m_pSurface = new DCSurface{impl->paintDc};
    m_hDC = m_pSurface ? reinterpret_cast<HDC>(static_cast<CDC*>(this)) : nullptr;
}

CPaintDC::~CPaintDC() = default;
