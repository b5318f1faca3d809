// The trend window: the readings of the mode being polled over the last 10 s, 60 s or 10 minutes,
// with a pause and a csv export. A modeless, resizable window owned by the main window, which feeds
// it one sample per poll tick (RecordTick); it never talks to the board itself.
//
// The plot: time runs left to right with "now" (the newest tick, or the moment of the pause) at the
// right edge. TILT draws X and Y on a 0..255 scale and the two buttons as bands below it (filled
// while the button is down); DVM draws the seven channels on a -5..+5 V scale with a legend of their
// latest values. A tick without a valid reply, or ticks that were not recorded, leave a gap; ticks
// while the board was lost are shaded.
#pragma once

#include "TrendHistory.h"

#include <afxwin.h>

#include <memory>

class CTrendDlg : public CDialog {
public:
    /// The spans the window offers, in milliseconds; 60 s at first.
    static constexpr int kSpansMs[] = {10000, 60000, 600000};

    /// A closed window over a new, empty history, owned by `owner`.
    explicit CTrendDlg(CWnd* owner);

    const MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    /// Claims WM_PAINT and the buttons: Pause, Save CSV... and the three spans.
    static const MessageMap* ThisMessageMap();

    /// Opens the window, or brings the open one to the front.
    void Open();
    /// TRUE while the window is open (shown).
    BOOL IsOpen() const { return IsWindowVisible(); }
    /// Records the tick that the main window just ran, with the time of now: `mode` polled, `valid`
    /// when a whole reply came (`frame` or g_fVoltage hold it), `lost` while the board does not
    /// answer. Repaints the open window unless it is paused. Never allocates.
    void RecordTick(PollMode mode, bool valid, const TiltFrame& frame, bool lost);
    /// Records `sample` as a tick of `mode` (RecordTick with a given time).
    void Record(PollMode mode, const TrendSample& sample);

    /// The history shown and saved.
    const TrendHistory& History() const { return m_history; }
    /// The mode shown: the one polled last (at the pause, while paused).
    PollMode ShownMode() const { return m_mode; }
    /// The span shown, in milliseconds.
    int SpanMs() const { return m_nSpanMs; }
    /// True while the view is frozen.
    bool IsPaused() const { return m_bPaused; }
    /// Writes the kept history of the shown mode to `path` as csv; empty when it was written, else
    /// the message that was shown in a box.
    std::string SaveCsv(const std::string& path);
    /// The plotting rectangle for a client area `client` in `mode`: axis ends inclusive.
    static CRect PlotRect(const CRect& client, PollMode mode);

    BOOL OnInitDialog() override;
    /// Enter does not close the window (Escape and the close box do).
    void OnOK() override {}

protected:
    void OnPaint() override;

private:
    void OnPause();
    void OnSave();
    void OnSpan10() { SetSpan(0); }
    void OnSpan60() { SetSpan(1); }
    void OnSpan600() { SetSpan(2); }
    void SetSpan(int index);

    // The time at the right edge: the moment of the pause, else the newest tick of the shown mode.
    int64_t Now() const;
    void PaintShading(CDC& dc, const CRect& plot, int first, int end) const;
    void PaintTimeAxis(CDC& dc, const CRect& plot, int labelsTop) const;
    void PaintValueAxis(CDC& dc, const CRect& plot) const;
    void PaintSeries(CDC& dc, const CRect& plot, int first, int end, int series, COLORREF colour);
    void PaintButtons(CDC& dc, const CRect& plot, int first, int end) const;
    void PaintLegend(CDC& dc, const CRect& plot, int end) const;
    int XOf(const CRect& plot, int64_t tMs) const;
    // Pixel row of value `series` (0 X, 1 Y, or channel) of sample `s` in the shown mode.
    int YOf(const CRect& plot, const TrendSample& s, int series) const;

    TrendHistory m_history;
    std::unique_ptr<POINT[]> m_points; ///< one series' points, allocated once
    PollMode m_mode = PollMode::Tilt;
    int m_nSpanMs = kSpansMs[1];
    bool m_bPaused = false;
    int64_t m_pausedAt = 0;
};
