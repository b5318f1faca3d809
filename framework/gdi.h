// Drawing with Windows GDI rules: CRect, CPen, CDC and CPaintDC. Pixels land where GDI puts them:
// no antialiasing, a line leaves out its end point, TextOut puts the top-left corner of the text at
// (x, y) over an opaque band in the background colour (unless SetBkMode(TRANSPARENT)), and a new
// context draws text in the system font, not in the dialog's font.
#pragma once

#include "windefs.h"

class CWnd;

class CRect : public RECT {
public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(LONG l, LONG t, LONG r, LONG b) : RECT{l, t, r, b} {}
    /// right - left (negative when not normalised).
    LONG Width() const { return right - left; }
    /// bottom - top (negative when not normalised).
    LONG Height() const { return bottom - top; }
    /// Swaps left/right and top/bottom where needed so that width and height are not negative.
    void NormalizeRect();
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
};

/// Base of drawing objects that a context can select.
class CGdiObject {
public:
    virtual ~CGdiObject() = default;
    /// Releases the object; TRUE when there was one.
    BOOL DeleteObject();

protected:
    BOOL m_bValid = FALSE;
};

/// A pen: style (PS_SOLID), width in pixels and colour. It holds plain values, so building one
/// cannot fail on this platform.
class CPen : public CGdiObject {
public:
    CPen() = default;
    CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
    /// Sets the pen's values; always TRUE.
    BOOL CreatePen(int style, int width, COLORREF color);
    int Style() const { return m_nStyle; }
    int Width() const { return m_nWidth; }
    COLORREF Color() const { return m_color; }

private:
    int m_nStyle = PS_SOLID;
    int m_nWidth = 1;
    COLORREF m_color = RGB(0, 0, 0);
};

struct DCSurface; // the drawing surface behind a context (defined by the backend)

/// A device context. Only painting contexts (CPaintDC) draw; a context without a surface ignores
/// drawing calls.
class CDC {
public:
    CDC();
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    /// Handle of this context (to pass in WM_ICONERASEBKGND); null when there is no surface.
    HDC m_hDC = nullptr;
    /// The context whose handle is `hdc`, or null.
    static CDC* FromHandle(HDC hdc);

    /// Selects `pen` for lines; returns the pen it replaces (the stock black pen at first).
    CPen* SelectObject(CPen* pen);
    /// Moves the current position to (x, y); returns the previous position.
    POINT MoveTo(int x, int y);
    /// Draws from the current position up to, but not including, (x, y) with the selected pen;
    /// (x, y) becomes the current position. TRUE.
    BOOL LineTo(int x, int y);
    /// Sets the colour of the band behind text; returns the previous one (white at first).
    COLORREF SetBkColor(COLORREF color);
    /// Sets the text colour; returns the previous one (black at first).
    COLORREF SetTextColor(COLORREF color);
    /// OPAQUE (the default) or TRANSPARENT; returns the previous mode.
    int SetBkMode(int mode);
    /// Writes `length` bytes of `text` at (x, y), placed there by the text alignment (at first its
    /// top-left corner); TRUE.
    BOOL TextOut(int x, int y, const char* text, int length);
    /// Draws the 32x32 picture of `icon` with its top-left corner at (x, y); FALSE for a null icon.
    BOOL DrawIcon(int x, int y, HICON icon);
    /// Fills `rect` with `color`.
    void FillSolidRect(LPCRECT rect, COLORREF color);
    /// Lines through `count` points with the selected pen, each line leaving out its end point (so the
    /// last point itself is not drawn, as with LineTo); the current position does not move. TRUE.
    BOOL Polyline(const POINT* points, int count);
    /// How TextOut places text against its (x, y): TA_LEFT, TA_RIGHT or TA_CENTER, or-ed with TA_TOP,
    /// TA_BOTTOM or TA_BASELINE. Returns the previous alignment (TA_LEFT | TA_TOP at first).
    UINT SetTextAlign(UINT align);

protected:
    DCSurface* m_pSurface = nullptr;

private:
    CPen* m_pPen;
    POINT m_pos{0, 0};
    COLORREF m_bkColor = RGB(255, 255, 255);
    COLORREF m_textColor = RGB(0, 0, 0);
    int m_nBkMode = OPAQUE;
    UINT m_nTextAlign = TA_LEFT | TA_TOP;
};

/// The context of one WM_PAINT: built in OnPaint, it draws on the window that is being painted
/// (after the framework erased its background); destroying it ends the paint. Built outside a
/// WM_PAINT it draws nothing.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
};
