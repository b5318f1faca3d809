#include "TrendDlg.h"

#include "res/resource.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

// Margins of the plot inside the client area: the controls above it, the value labels left of it,
// the legend right of it, the time labels (and in TILT the button bands) below it.
constexpr int kTop = 44, kLeft = 52, kRight = 124, kBottom = 22, kBandsHeight = 42;
// The button bands: their height and the distance between their tops.
constexpr int kBandHeight = 8, kBandStep = 16;
constexpr COLORREF kGridColour = RGB(220, 220, 220);
constexpr COLORREF kAxisColour = RGB(128, 128, 128);
constexpr COLORREF kLostColour = RGB(255, 224, 224);
constexpr COLORREF kTextColour = RGB(0, 0, 0);
constexpr COLORREF kButtonColour = RGB(64, 64, 64);
constexpr COLORREF kTiltColours[] = {RGB(0, 90, 220), RGB(220, 0, 0)}; // X, Y
constexpr COLORREF kChannelColours[] = {RGB(220, 0, 0),   RGB(0, 150, 0),   RGB(0, 0, 230),  RGB(230, 130, 0),
                                        RGB(150, 0, 180), RGB(0, 160, 170), RGB(120, 80, 20)};
constexpr double kVoltsMin = -5.0, kVoltsMax = 5.0;
// Grid lines: TILT readings, DVM volts, and the time step of each span.
constexpr int kTiltGrid[] = {0, 64, 128, 192, 255};
constexpr double kVoltGrid[] = {-5.0, -2.5, 0.0, 2.5, 5.0};
constexpr int kTimeStepsMs[] = {2000, 10000, 120000};

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void Line(CDC& dc, int x0, int y0, int x1, int y1) {
    dc.MoveTo(x0, y0);
    dc.LineTo(x1, y1);
}

// A single pixel: LineTo leaves out its end point, so a line one pixel long.
void Dot(CDC& dc, POINT p) {
    Line(dc, p.x, p.y, p.x + 1, p.y);
}

} // namespace

CTrendDlg::CTrendDlg(CWnd* owner)
    : CDialog(IDD_TREND, owner), m_points(std::make_unique<POINT[]>(TrendHistory::kCapacity)) {}

const MessageMap* CTrendDlg::ThisMessageMap() {
    static const MessageMapEntry entries[] = {
        {WM_PAINT},
        CommandEntry(IDC_TREND_PAUSE, &CTrendDlg::OnPause),
        CommandEntry(IDC_TREND_SAVE, &CTrendDlg::OnSave),
        CommandEntry(IDC_TREND_SPAN10, &CTrendDlg::OnSpan10),
        CommandEntry(IDC_TREND_SPAN60, &CTrendDlg::OnSpan60),
        CommandEntry(IDC_TREND_SPAN600, &CTrendDlg::OnSpan600),
    };
    static const MessageMap map{CDialog::ThisMessageMap(), entries};
    return &map;
}

void CTrendDlg::Open() {
    if (IsOpen()) {
        BringWindowToTop();
        return;
    }
    DestroyWindow(); // a window that is closing: it goes now, a new one comes
    Create();
}

BOOL CTrendDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    const int ids[] = {IDC_TREND_SPAN10, IDC_TREND_SPAN60, IDC_TREND_SPAN600};
    for (int i = 0; i < 3; ++i)
        CheckDlgButton(ids[i], kSpansMs[i] == m_nSpanMs ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemText(IDC_TREND_PAUSE, m_bPaused ? "Resume" : "Pause");
    return TRUE;
}

void CTrendDlg::RecordTick(PollMode mode, bool valid, const TiltFrame& frame, bool lost) {
    TrendSample sample;
    sample.tMs = SteadyMs();
    sample.valid = valid;
    sample.lost = lost;
    sample.tilt = frame;
    std::copy(std::begin(g_fVoltage), std::end(g_fVoltage), sample.volts);
    Record(mode, sample);
}

void CTrendDlg::Record(PollMode mode, const TrendSample& sample) {
    m_history.Record(mode, sample);
    if (m_bPaused) return;
    m_mode = mode;
    if (IsOpen()) InvalidateRect(nullptr, TRUE);
}

void CTrendDlg::OnPause() {
    m_bPaused = !m_bPaused;
    if (m_bPaused) {
        const int count = m_history.Count(m_mode);
        m_pausedAt = count ? m_history.At(m_mode, count - 1).tMs : 0;
    }
    SetDlgItemText(IDC_TREND_PAUSE, m_bPaused ? "Resume" : "Pause");
    InvalidateRect(nullptr, TRUE);
}

void CTrendDlg::SetSpan(int index) {
    m_nSpanMs = kSpansMs[index];
    InvalidateRect(nullptr, TRUE);
}

void CTrendDlg::OnSave() {
    const bool tilt = m_mode == PollMode::Tilt;
    CFileDialog dlg(FALSE, "csv", tilt ? "korvane-tilt.csv" : "korvane-dvm.csv",
                    OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "CSV files (*.csv)|*.csv|All files (*.*)|*.*||",
                    this);
    if (dlg.DoModal() == IDOK) SaveCsv(static_cast<const char*>(dlg.GetPathName()));
}

std::string CTrendDlg::SaveCsv(const std::string& path) {
    std::string error = WriteFileAtomically(path, m_history.Csv(m_mode));
    if (!error.empty()) AfxMessageBox(error.c_str(), MB_OK | MB_ICONERROR, 0);
    return error;
}

int64_t CTrendDlg::Now() const {
    if (m_bPaused) return m_pausedAt;
    const int count = m_history.Count(m_mode);
    return count ? m_history.At(m_mode, count - 1).tMs : 0;
}

CRect CTrendDlg::PlotRect(const CRect& client, PollMode mode) {
    const int bands = mode == PollMode::Tilt ? kBandsHeight : 0;
    return CRect(client.left + kLeft, client.top + kTop, client.right - kRight,
                 client.bottom - kBottom - bands);
}

int CTrendDlg::XOf(const CRect& plot, int64_t tMs) const {
    return static_cast<int>(plot.right - (Now() - tMs) * plot.Width() / m_nSpanMs);
}

int CTrendDlg::YOf(const CRect& plot, const TrendSample& s, int series) const {
    if (m_mode == PollMode::Tilt) {
        const int reading = series == 0 ? s.tilt.x : s.tilt.y;
        return plot.bottom - reading * plot.Height() / 255;
    }
    const double volts = std::clamp(static_cast<double>(s.volts[series]), kVoltsMin, kVoltsMax);
    return plot.bottom -
           static_cast<int>(std::lround((volts - kVoltsMin) * plot.Height() / (kVoltsMax - kVoltsMin)));
}

void CTrendDlg::OnPaint() {
    CPaintDC dc(this);
    if (IsIconic()) return;
    CRect client;
    GetClientRect(&client);
    const CRect plot = PlotRect(client, m_mode);
    if (plot.Width() < 10 || plot.Height() < 10) return; // too small to show anything
    const int end = m_history.FirstAtOrAfter(m_mode, Now() + 1);
    const int first = std::min(end, m_history.FirstAtOrAfter(m_mode, Now() - m_nSpanMs));
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(kTextColour);
    PaintShading(dc, plot, first, end);
    PaintTimeAxis(dc, plot, client.bottom - kBottom + 4);
    PaintValueAxis(dc, plot);
    const bool tilt = m_mode == PollMode::Tilt;
    const int series = tilt ? 2 : BoardProtocol::kChannels;
    for (int k = 0; k < series; ++k)
        PaintSeries(dc, plot, first, end, k, tilt ? kTiltColours[k] : kChannelColours[k]);
    if (tilt) PaintButtons(dc, plot, first, end);
    PaintLegend(dc, plot, end);
}

void CTrendDlg::PaintShading(CDC& dc, const CRect& plot, int first, int end) const {
    // Each lost tick shades from its own time to the next tick's (to "now" for the newest).
    for (int i = first; i < end; ++i) {
        const TrendSample& s = m_history.At(m_mode, i);
        if (!s.lost) continue;
        const int64_t until = i + 1 < end ? m_history.At(m_mode, i + 1).tMs : Now();
        CRect band(XOf(plot, s.tMs), plot.top, std::max(XOf(plot, until), XOf(plot, s.tMs) + 1),
                   plot.bottom + 1);
        dc.FillSolidRect(band, kLostColour);
    }
}

void CTrendDlg::PaintTimeAxis(CDC& dc, const CRect& plot, int labelsTop) const {
    const int step =
        kTimeStepsMs[std::find(std::begin(kSpansMs), std::end(kSpansMs), m_nSpanMs) - std::begin(kSpansMs)];
    CPen grid(PS_SOLID, 1, kGridColour);
    CPen* previous = dc.SelectObject(&grid);
    dc.SetTextAlign(TA_CENTER | TA_TOP);
    char label[16];
    for (int back = 0; back <= m_nSpanMs; back += step) {
        const int x = static_cast<int>(plot.right - static_cast<int64_t>(back) * plot.Width() / m_nSpanMs);
        Line(dc, x, plot.top, x, plot.bottom + 1);
        const int length = std::snprintf(label, sizeof label, back ? "-%d s" : "%d s", back / 1000);
        dc.TextOut(x, labelsTop, label, length);
    }
    dc.SelectObject(previous);
}

void CTrendDlg::PaintValueAxis(CDC& dc, const CRect& plot) const {
    CPen grid(PS_SOLID, 1, kGridColour), axis(PS_SOLID, 1, kAxisColour);
    CPen* previous = dc.SelectObject(&grid);
    dc.SetTextAlign(TA_RIGHT | TA_TOP);
    char label[16];
    TrendSample probe;
    for (int i = 0; i < 5; ++i) {
        probe.tilt.x = static_cast<uint8_t>(kTiltGrid[i]);
        probe.volts[0] = static_cast<float>(kVoltGrid[i]);
        const int y = YOf(plot, probe, 0);
        Line(dc, plot.left, y, plot.right + 1, y);
        const bool tilt = m_mode == PollMode::Tilt;
        const int length = tilt ? std::snprintf(label, sizeof label, "%d", kTiltGrid[i])
                                : std::snprintf(label, sizeof label, "%g V", kVoltGrid[i]);
        dc.TextOut(plot.left - 4, std::min(y - 8, static_cast<int>(plot.bottom) - 14), label,
                   length); // clear of the time labels
    }
    dc.SelectObject(&axis);
    Line(dc, plot.left - 1, plot.top, plot.left - 1, plot.bottom + 1);
    Line(dc, plot.left - 1, plot.bottom + 1, plot.right + 1, plot.bottom + 1);
    dc.SelectObject(previous);
}

void CTrendDlg::PaintSeries(CDC& dc, const CRect& plot, int first, int end, int series, COLORREF colour) {
    CPen pen(PS_SOLID, 1, colour);
    CPen* previous = dc.SelectObject(&pen);
    // Runs of joined samples become one polyline each; its last point is drawn too (the newest
    // reading stands on the right edge). A sample joined to neither neighbour is a dot.
    int count = 0;
    auto flush = [&] {
        if (count > 1) dc.Polyline(m_points.get(), count);
        if (count > 0) Dot(dc, m_points[count - 1]);
        count = 0;
    };
    for (int i = first; i < end; ++i) {
        const TrendSample& s = m_history.At(m_mode, i);
        if (count > 0 && !TrendHistory::Joined(m_history.At(m_mode, i - 1), s)) flush();
        if (s.valid) m_points[count++] = POINT{XOf(plot, s.tMs), YOf(plot, s, series)};
    }
    flush();
    dc.SelectObject(previous);
}

void CTrendDlg::PaintButtons(CDC& dc, const CRect& plot, int first, int end) const {
    // Two bands under the plot, left button (B1) above right (B0): filled while the button is down.
    dc.SetTextAlign(TA_RIGHT | TA_TOP);
    for (int band = 0; band < 2; ++band) {
        const int top = plot.bottom + 12 + band * kBandStep;
        dc.TextOut(plot.left - 4, top - 4, band == 0 ? "B1" : "B0", 2);
        for (int i = first; i < end; ++i) {
            const TrendSample& s = m_history.At(m_mode, i);
            const bool down = s.valid && !(band == 0 ? s.tilt.leftUp : s.tilt.rightUp);
            if (!down) continue;
            const bool joined = i + 1 < end && TrendHistory::Joined(s, m_history.At(m_mode, i + 1));
            const int right = joined ? XOf(plot, m_history.At(m_mode, i + 1).tMs) : XOf(plot, s.tMs) + 1;
            CRect bar(XOf(plot, s.tMs), top, right, top + kBandHeight);
            dc.FillSolidRect(bar, kButtonColour);
        }
    }
}

void CTrendDlg::PaintLegend(CDC& dc, const CRect& plot, int end) const {
    // The newest valid reading of each series, in its colour.
    const TrendSample* latest = nullptr;
    for (int i = end - 1; i >= 0 && !latest; --i) {
        if (m_history.At(m_mode, i).valid) latest = &m_history.At(m_mode, i);
    }
    const bool tilt = m_mode == PollMode::Tilt;
    const int series = tilt ? 2 : BoardProtocol::kChannels;
    dc.SetTextAlign(TA_LEFT | TA_TOP);
    char label[24];
    for (int k = 0; k < series; ++k) {
        const int top = plot.top + 18 * k;
        CRect swatch(plot.right + 8, top + 6, plot.right + 20, top + 9);
        dc.FillSolidRect(swatch, tilt ? kTiltColours[k] : kChannelColours[k]);
        const char* name = k ? "Y" : "X";
        int length;
        if (tilt)
            length = latest ? std::snprintf(label, sizeof label, "%s %d", name,
                                            k ? latest->tilt.y : latest->tilt.x)
                            : std::snprintf(label, sizeof label, "%s", name);
        else
            length = latest ? std::snprintf(label, sizeof label, "Ch%d %.2f V", k,
                                            static_cast<double>(latest->volts[k]))
                            : std::snprintf(label, sizeof label, "Ch%d", k);
        dc.TextOut(plot.right + 24, top, label, length);
    }
}
