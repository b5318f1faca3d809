// Dialog data exchange: a dialog's DoDataExchange lists DDX_ calls, one per bound control, in the
// order they run. UpdateData(TRUE) copies controls into members and stops at the first field it
// refuses; UpdateData(FALSE) copies members into controls.
#pragma once

#include "cstring.h"
#include "windefs.h"

class CWnd;

class CDataExchange {
public:
    CDataExchange(CWnd* dlgWnd, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dlgWnd) {}
    /// TRUE: controls to members; FALSE: members to controls.
    BOOL m_bSaveAndValidate;
    /// The dialog whose controls are exchanged.
    CWnd* m_pDlgWnd;
    /// Marks the exchange as refused: later DDX_ calls do nothing and UpdateData returns FALSE.
    void Fail() { m_bFailed = TRUE; }
    /// TRUE after Fail.
    BOOL Failed() const { return m_bFailed; }

private:
    BOOL m_bFailed = FALSE;
};

/// Text of control `id` to/from `value`, unchanged.
void DDX_Text(CDataExchange* dx, int id, CString& value);
/// Decimal text of control `id` to/from `value`. Saving refuses text that is not an integer (see
/// AfxParseDialogInt): it shows "Please enter an integer.", focuses the field with its whole text
/// selected and fails the exchange; `value` keeps its previous value.
void DDX_Text(CDataExchange* dx, int id, int& value);
/// Index of the checked radio button in the group that starts at control `id` (the group runs up
/// to the next control with WS_GROUP); -1 when none is checked. Loading checks button `value` only.
void DDX_Radio(CDataExchange* dx, int id, int& value);

/// Parses a dialog field as an int: the first 31 characters; spaces and tabs skipped before; base 10
/// with an optional sign; only spaces and tabs after; zero accepted only when the first character
/// after the blanks is '0'; values beyond the 32-bit range clamped. TRUE and `*value` set when accepted.
BOOL AfxParseDialogInt(const char* text, int* value);
