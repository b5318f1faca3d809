// The main window: the controller of the program. It connects to the board while it initialises
// (asking for another COM port until the board answers or the operator gives up), then polls the
// board every 100 ms and shows the readings: tilt numbers and button states in its fields, and a
// crosshair (TILT mode) or seven voltage lines (DVM mode) on its plotting area.
//
// While the board is lost (BoardLink.h: no reply for 3 ticks, or its port failed and is being
// reopened once a second) the title says so ("Korvane - COM3: no reply", "Korvane - COM3: device
// gone, reconnecting"), the fields are blank and neither crosshair nor voltages are drawn; the
// first valid reply restores the title "Korvane" and the display. No message box is shown for it.
#pragma once

#include "TrendDlg.h"

#include <afxwin.h>

#include "BoardLink.h"

/// COM port number passed between the start-up loop and the port selection dialog; the
/// terminate request when it holds kTerminateRequest.
extern int g_nComPort;
/// The plotting area of the last restored paint, in client pixels.
extern CRect g_rcPlot;

/// g_nComPort value that ends the program at the next tick.
constexpr int kTerminateRequest = 1000;
/// Profile entry of the COM port number.
inline constexpr const char* kProfileSection = "MyKorvaneAp";
inline constexpr const char* kProfileKey = "KorvaneComPort";
constexpr int kDefaultComPort = 3;
/// The poll timer.
constexpr UINT_PTR kPollTimerId = 100;
constexpr UINT kPollPeriodMs = 100;

class CKorvaneDlg : public CDialog {
public:
    /// Template 102, owner `parent`; loads the program icon.
    explicit CKorvaneDlg(CWnd* parent = nullptr);

    CString m_strX;                 ///< X reading as decimal text (field 1006)
    CString m_strY;                 ///< Y reading as decimal text (field 1007)
    CString m_strLeftButton{"UP"};  ///< button B1, "UP" or "DOWN" (field 1009)
    CString m_strRightButton{"UP"}; ///< button B0, "UP" or "DOWN" (field 1008)
    int m_nMode = 0;                ///< 0 TILT, any other value DVM (radio group 1004/1005)
    HICON m_hIcon;                  ///< icon 128: window, drag and minimised icon
    CTrendDlg m_trend{this};        ///< the trend window (system menu "Trend..."), fed by every tick

    const MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    /// Claims WM_SYSCOMMAND, WM_PAINT, WM_QUERYDRAGICON and WM_TIMER.
    static const MessageMap* ThisMessageMap();
    void DoDataExchange(CDataExchange* dx) override;
    /// Adds the Trend and About items, sets the icons, runs the start-up connection loop and starts the poll
    /// timer (in every case, also after Terminate). TRUE.
    BOOL OnInitDialog() override;
    /// CDialog::OnOK: saves the fields and ends the dialog.
    void OnOK() override;

    /// Connects to the board on COM`comNumber`, showing the failure's message: 0 connected, 1 the
    /// port did not open, 2 the speed was refused, 3 no answer.
    int ConnectDevice(int comNumber);

protected:
    /// The poll tick: terminate request, PollTick (discard and exchange, or reopening a port that
    /// failed), the fields and title for what it saw, the trend's sample, repaint request.
    void OnTimer(UINT_PTR id) override;
    /// Draws the crosshair or the voltage lines; the icon when minimised.
    void OnPaint() override;
    /// The About item opens the About box, the Trend item the trend window; other commands get the
    /// default processing.
    void OnSysCommand(UINT id, LPARAM lParam) override;
    /// m_hIcon.
    HCURSOR OnQueryDragIcon() override;

private:
    void ShowTilt(const TickOutcome& tick);
    void ReportVoltageError(const TickOutcome& tick);
    void ShowBoardState(BoardState state);
    void PaintMinimised();
    void PaintTilt(CDC& dc);
    void PaintVoltages(CDC& dc);

    /// True while "Error reading voltages." is open: ticks inside its loop poll, but open no box.
    bool m_bVoltageBoxOpen = false;
    /// The present run of failed ticks had its "Error reading voltages." already; a valid reply
    /// starts a new run.
    bool m_bVoltageRunReported = false;
    /// The COM number the board was found on (for the title).
    int m_nPolledCom = 0;
};
