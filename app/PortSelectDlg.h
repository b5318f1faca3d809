// The port selection dialog: shown each time the board cannot be reached. It shows the COM port
// number that failed (g_nComPort), lets the operator type another one, and hands the answer back in
// g_nComPort: the number to try next, or the terminate request.
#pragma once

#include <afxwin.h>

class CPortSelectDlg : public CDialog {
public:
    /// Template 129 with owner `parent`; m_nPort 0.
    explicit CPortSelectDlg(CWnd* parent = nullptr);

    int m_nPort = 0; ///< the number in the field (1001)

    const MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    /// Claims the "Terminate Program" button (id 2: also Escape and the close box).
    static const MessageMap* ThisMessageMap();
    void DoDataExchange(CDataExchange* dx) override;
    /// Shows g_nComPort in the field; TRUE (the focus goes to OK).
    BOOL OnInitDialog() override;
    /// Takes the field (refused: its message, the dialog stays) into g_nComPort and ends the dialog.
    void OnOK() override;
    /// Sets the terminate request, then CDialog::OnOK (the field must still hold an integer).
    void OnTerminateProgram();
};
