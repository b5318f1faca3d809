// A small dialog written against the framework's headers alone (no Qt), as the application is.
#pragma once

#include <afxwin.h>

#include <functional>
#include <vector>

enum : UINT { IDD_TEST = 9001, IDI_TEST = 9100, IDS_TEST_ABOUT = 9200, IDM_TEST_ABOUT = 0x10 };
enum : int { IDC_NUMBER = 1001, IDC_NAME, IDC_INFO, IDC_ONE, IDC_TWO, IDC_THREE };

class CTestDlg : public CDialog {
public:
    explicit CTestDlg(CWnd* parent = nullptr) : CDialog(IDD_TEST, parent) {}

    CString m_strName{"start"};
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
    void OnTimer(UINT_PTR id) override {
        if (onTimer) onTimer(*this, id);
    }
    void OnPaint() override;
    void OnSysCommand(UINT id, LPARAM lParam) override;
};
