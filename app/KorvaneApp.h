// The Korvane application object: runs the main dialog modally; the program ends when it closes.
#pragma once

#include <afxwin.h>

class CKorvaneApp : public CWinApp {
public:
    const MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    /// Claims command ID_HELP for CWinApp::OnHelp.
    static const MessageMap* ThisMessageMap();

    /// Runs the main dialog; always FALSE, so the framework ends the program when it closes.
    BOOL InitInstance() override;
};

/// The one application object.
extern CKorvaneApp theApp;
