#include "KorvaneDlg.h"

#include "AboutDlg.h"
#include "BoardLink.h"
#include "PortSelectDlg.h"
#include "res/resource.h"

int g_nComPort = 0;
CRect g_rcPlot;

namespace {

// Drawing of the plotting area.
constexpr COLORREF kCrossColour = RGB(220, 220, 220);
constexpr COLORREF kCrosshairColour = RGB(255, 0, 0);
constexpr COLORREF kVoltageTextColour = RGB(255, 0, 0);
constexpr COLORREF kVoltageBandColour = RGB(200, 200, 200);
// The plotting area inside the client area.
constexpr int kPlotInsetLeft = 4, kPlotInsetTop = 20, kPlotInsetRight = 10, kPlotInsetBottom = 20;
// Voltage lines: left offset, first line's offset and line spacing from the plot's top-left corner.
constexpr int kVoltageX = 15, kVoltageY = 70, kVoltageLineStep = 20;
const char* const kVoltageLabels[] = {"Ch0: %.2fV", "Ch1: %.2fV", "Ch2: %.2fV", "Ch3: %.2fV",
                                      "Ch4: %.2fV", "Ch5: %.2fV", "Ch6: %.2fV"};

const char* ButtonText(bool up) {
    return up ? "UP" : "DOWN";
}

} // namespace

CKorvaneDlg::CKorvaneDlg(CWnd* parent)
    : CDialog(IDD_KORVANE_DIALOG, parent), m_hIcon(AfxGetApp()->LoadIcon(IDR_MAINFRAME)) {}

const MessageMap* CKorvaneDlg::ThisMessageMap() {
    static const MessageMapEntry entries[] = {{WM_SYSCOMMAND}, {WM_PAINT}, {WM_QUERYDRAGICON}, {WM_TIMER}};
    static const MessageMap map{CDialog::ThisMessageMap(), entries};
    return &map;
}

void CKorvaneDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, IDC_XVALUE, m_strX);
    DDX_Text(dx, IDC_YVALUE, m_strY);
    DDX_Text(dx, IDC_LEFTBUTTON, m_strLeftButton);
    DDX_Text(dx, IDC_RIGHTBUTTON, m_strRightButton);
    DDX_Radio(dx, IDC_TILT, m_nMode);
}

BOOL CKorvaneDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if (CMenu* sysMenu = GetSystemMenu(FALSE)) {
        CString about;
        about.LoadString(IDS_ABOUTBOX);
        CString trend;
        trend.LoadString(IDS_TREND);
        if (!about.IsEmpty()) {
            sysMenu->AppendMenu(MF_SEPARATOR);
            sysMenu->AppendMenu(MF_STRING, IDM_TREND, trend);
            sysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    // Connect; on failure ask for another port until the board answers or the operator gives up.
    CWinApp* app = AfxGetApp();
    int port = static_cast<int>(app->GetProfileInt(kProfileSection, kProfileKey, kDefaultComPort));
    int result = ConnectDevice(port);
    while (result != 0) {
        g_nComPort = port; // the dialog shows the number that failed
        CPortSelectDlg dlg;
        dlg.DoModal();
        if (g_nComPort == kTerminateRequest) break;
        // The number tried next is the one the profile gives back.
        app->WriteProfileInt(kProfileSection, kProfileKey, g_nComPort);
        port = static_cast<int>(app->GetProfileInt(kProfileSection, kProfileKey, kDefaultComPort));
        result = ConnectDevice(port);
    }
    if (result == 0) {
        m_nPolledCom = port;
        StartPolling(port, true); // a board that goes away later is reopened by the ticks
    }
    SetTimer(kPollTimerId, kPollPeriodMs, nullptr);
    return TRUE;
}

void CKorvaneDlg::OnOK() {
    CDialog::OnOK();
}

int CKorvaneDlg::ConnectDevice(int comNumber) {
    int result = ConnectBoard(comNumber);
    if (const char* message = ConnectMessage(result)) AfxMessageBox(message, MB_OK, 0);
    return result;
}

void CKorvaneDlg::OnTimer(UINT_PTR) {
    if (g_nComPort == kTerminateRequest) {
        KillTimer(kPollTimerId);
        OnOK();
        return;
    }
    const TickOutcome tick = PollTick(m_nMode == 0 ? PollKind::Tilt : PollKind::Voltages, GetTickCount());
    m_trend.RecordTick(m_nMode == 0 ? PollMode::Tilt : PollMode::Dvm, tick.validReply, tick.tilt,
                       tick.lost());
    if (tick.validReply) m_bVoltageRunReported = false;
    if (tick.changed()) ShowBoardState(tick.state);
    if (m_nMode == 0)
        ShowTilt(tick);
    else
        ReportVoltageError(tick);
    InvalidateRect(nullptr, TRUE);
    Default();
}

void CKorvaneDlg::ShowTilt(const TickOutcome& tick) {
    UpdateData(TRUE); // also takes the radio selection into m_nMode
    // A single tick without a whole frame keeps the last reading rather than showing a made-up one;
    // once the board is lost the fields are blank, so nothing stale passes for a live reading.
    if (tick.validReply) {
        m_strX.Format("%d", tick.tilt.x);
        m_strY.Format("%d", tick.tilt.y);
        m_strLeftButton = ButtonText(tick.tilt.leftUp);
        m_strRightButton = ButtonText(tick.tilt.rightUp);
    } else if (tick.lost()) {
        m_strX = m_strY = m_strLeftButton = m_strRightButton = "";
    }
    UpdateData(FALSE);
    UpdateWindow();
}

void CKorvaneDlg::ReportVoltageError(const TickOutcome& tick) {
    // One box for the first failed tick of a run, none for a lost board (the operator may be away)
    // and none inside another: the ticks inside the box's loop go on polling.
    if (!tick.exchanged || tick.validReply || tick.lost() || tick.event == BoardEvent::PortFailed) return;
    if (m_bVoltageRunReported || m_bVoltageBoxOpen) return;
    m_bVoltageRunReported = true;
    m_bVoltageBoxOpen = true;
    AfxMessageBox(kVoltageErrorMessage, MB_OK, 0);
    m_bVoltageBoxOpen = false;
}

void CKorvaneDlg::ShowBoardState(BoardState state) {
    CString title("Korvane");
    if (state == BoardState::NoReply) title.Format("Korvane - COM%d: no reply", m_nPolledCom);
    if (state == BoardState::DeviceGone)
        title.Format("Korvane - COM%d: device gone, reconnecting", m_nPolledCom);
    SetWindowText(title);
}

void CKorvaneDlg::OnSysCommand(UINT id, LPARAM) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else if ((id & 0xFFF0) == IDM_TREND) {
        m_trend.Open();
    } else {
        Default();
    }
}

HCURSOR CKorvaneDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}

void CKorvaneDlg::OnPaint() {
    if (IsIconic()) {
        PaintMinimised();
        return;
    }
    CPaintDC dc(this);
    GetClientRect(&g_rcPlot);
    g_rcPlot.NormalizeRect();
    g_rcPlot.left += kPlotInsetLeft;
    g_rcPlot.top += kPlotInsetTop;
    g_rcPlot.right -= kPlotInsetRight;
    g_rcPlot.bottom -= kPlotInsetBottom;
    UpdateData(TRUE); // the radio group decides what this paint shows
    if (m_nMode == 0)
        PaintTilt(dc);
    else
        PaintVoltages(dc);
    Default();
}

void CKorvaneDlg::PaintMinimised() {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
    int iconWidth = GetSystemMetrics(SM_CXICON);
    int iconHeight = GetSystemMetrics(SM_CYICON);
    CRect client;
    GetClientRect(&client);
    dc.DrawIcon((client.Width() - iconWidth + 1) / 2, (client.Height() - iconHeight + 1) / 2, m_hIcon);
}

void CKorvaneDlg::PaintTilt(CDC& dc) {
    const int l = g_rcPlot.left, t = g_rcPlot.top, r = g_rcPlot.right, b = g_rcPlot.bottom;
    const int w = r - l, h = b - t;
    CPen grey(PS_SOLID, 1, kCrossColour);
    CPen* previous = dc.SelectObject(&grey);
    for (double f = 0.5; f < 1.0; f += 0.5) { // one line each, through the centre
        int x = static_cast<int>(l + w * f);
        dc.MoveTo(x, t + 1);
        dc.LineTo(x, b - 1);
    }
    for (double f = 0.5; f < 1.0; f += 0.5) {
        int y = t + static_cast<int>(h * f);
        dc.MoveTo(l + 1, y);
        dc.LineTo(r - 1, y);
    }
    dc.SelectObject(previous);
    CPen red(PS_SOLID, 1, kCrosshairColour);
    previous = dc.SelectObject(&red);
    if (CurrentBoardState() == BoardState::Answering) { // a lost board has no reading to show
        int x = l + (w * g_byTiltX) / 256;
        dc.MoveTo(x, t + 1);
        dc.LineTo(x, b - 1);
        int y = b - (h * g_byTiltY) / 256; // larger readings stand higher
        dc.MoveTo(l + 1, y);
        dc.LineTo(r - 1, y);
    }
    dc.SelectObject(previous);
    red.DeleteObject();
    grey.DeleteObject();
}

void CKorvaneDlg::PaintVoltages(CDC& dc) {
    if (CurrentBoardState() != BoardState::Answering) return; // no reading to show
    dc.SetBkColor(kVoltageBandColour);
    dc.SetTextColor(kVoltageTextColour);
    CString line;
    for (int i = 0; i < 7; ++i) {
        line.Format(kVoltageLabels[i], static_cast<double>(g_fVoltage[i]));
        dc.TextOut(g_rcPlot.left + kVoltageX, g_rcPlot.top + kVoltageY + kVoltageLineStep * i, line,
                   line.GetLength());
    }
}
