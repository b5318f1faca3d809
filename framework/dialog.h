// CDialog: a dialog window built from a registered template (see resources.h).
//
// DoModal builds the window hidden, runs OnInitDialog, then shows it and runs a modal message loop
// until EndDialog. Keys: Enter clicks the default button (or the focused push button); Escape, the
// close box and the system menu's "Close" send command IDCANCEL. IDOK and IDCANCEL commands go to
// OnOK and OnCancel unless the dialog's message map claims them.
#pragma once

#include "wnd.h"

struct DialogTemplate;

class CDialog : public CWnd {
public:
    /// A dialog for template `templateId` with owner `parent` (may be null).
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    const MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    /// Claims commands IDOK (OnOK) and IDCANCEL (OnCancel).
    static const MessageMap* ThisMessageMap();

    /// Runs the dialog modally; returns the EndDialog result, or -1 with a line on stderr when the
    /// template is not registered ("<program>: dialog template 102 is not registered (its resource
    /// file was not linked in)"; for the main window AfxWinMain then exits with 1) or a modal run of
    /// this dialog is already going on.
    virtual INT_PTR DoModal();
    /// A modeless dialog: builds the window and runs OnInitDialog without a modal loop (shown when
    /// the template says WS_VISIBLE); FALSE when the template is not registered. Its owner (the parent
    /// given, else the main window) keeps taking its own keys and ticks, and so does this dialog while
    /// the owner runs modally; the owner's end destroys this dialog's window first. Escape, the close
    /// box and EndDialog end it.
    BOOL Create();
    /// Ends the modal run with `result` once the current handler returns (at once inside OnInitDialog:
    /// the window is never shown). A modeless dialog is hidden at once and its window destroyed once
    /// the current message is handled.
    void EndDialog(int result);

    /// The template, or null when it is not registered.
    const DialogTemplate* GetTemplate() const { return m_pTemplate; }
    /// Template id.
    UINT GetTemplateId() const { return m_nTemplateId; }
    /// Owner given at construction.
    CWnd* GetParent() const { return m_pParent; }

    /// Base: members to controls (UpdateData(FALSE)); returns TRUE so that the framework puts the
    /// focus on the first tab-stop control.
    virtual BOOL OnInitDialog();
    /// Base: UpdateData(TRUE), and only when that succeeds EndDialog(IDOK).
    virtual void OnOK();
    /// Base: EndDialog(IDCANCEL), no data exchange.
    virtual void OnCancel();

    /// The template's window style.
    DWORD GetStyle() const override;

protected:
    /// WM_INITDIALOG runs OnInitDialog; the rest as CWnd.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    /// WM_CLOSE becomes the IDCANCEL command; the rest as CWnd.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Builds the platform window (hidden) and runs WM_INITDIALOG; FALSE when the template is missing.
    BOOL BuildAndInit();
    // Finds the dialog's template. When it is missing, says on stderr which one, marks the
    // application's start as failed when this is its main window, and returns FALSE.
    BOOL FindTemplate();

    UINT m_nTemplateId;
    CWnd* m_pParent;
    const DialogTemplate* m_pTemplate;
    bool m_bInModal = false;
    bool m_bModeless = false; ///< built by Create
    bool m_bEnded = false;
    int m_nResult = -1;
};
