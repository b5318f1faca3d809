// A small dialog written against the framework's headers alone (no Qt), as the application is.
#pragma once

#include <afxwin.h>

#include <functional>
#include <vector>

inline constexpr UINT IDD_TEST = 9001;
inline constexpr UINT IDI_TEST = 9100;
inline constexpr UINT IDS_TEST_ABOUT = 9200;
inline constexpr int IDC_NUMBER = 1001;
inline constexpr int IDC_NAME = 1002;
inline constexpr int IDC_INFO = 1003;
inline constexpr int IDC_ONE = 1004;
inline constexpr int IDC_TWO = 1005;
inline constexpr int IDC_THREE = 1006;
inline constexpr int IDC_STOP = 2;
inline constexpr UINT IDM_TEST_ABOUT = 0x10;

class CTestDlg : public CDialog {
public:
    explicit CTestDlg(CWnd* parent = nullptr) : CDialog(IDD_TEST, parent) {}

    CString m_strName{"start"};
    CString m_strInfo{"UP"};
    int m_nNumber = 3;
    int m_nChoice = 1;

    std::function<void(CTestDlg&)> onInit; // runs inside OnInitDialog
    std::function<void(CTestDlg&, UINT_PTR)> onTimer;
    std::function<void(CDC&)> onPaint;
    std::vector<UINT> sysCommands; // every WM_SYSCOMMAND id, before default processing
    int paints = 0;

    const MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    /// Claims WM_SYSCOMMAND, WM_PAINT and WM_TIMER.
    static const MessageMap* ThisMessageMap();
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;

protected:
    void OnTimer(UINT_PTR id) override;
    void OnPaint() override;
    void OnSysCommand(UINT id, LPARAM lParam) override;
};

/// Claims command IDCANCEL (the Stop button, Escape, the close box) for its own handler.
class CClaimingDlg : public CTestDlg {
public:
    int stops = 0;
    const MessageMap* GetMessageMap() const override;
    void OnStop();
};
