// The About box: the program's icon, name and version. Opened from the main window's system menu.
#pragma once

#include <afxwin.h>

class CAboutDlg : public CDialog {
public:
    /// Template 100, no owner.
    CAboutDlg();

    const MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    /// Claims nothing of its own.
    static const MessageMap* ThisMessageMap();
    /// Exchanges nothing.
    void DoDataExchange(CDataExchange* dx) override;
};
