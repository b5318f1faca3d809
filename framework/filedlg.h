// CFileDialog: the system's dialog that asks for a file name to save to (or to open). On Linux it is
// Qt's own file dialog (the same on every desktop, and drivable in tests), on Windows the common
// dialog of GetSaveFileName / GetOpenFileName.
//
//   CFileDialog dlg(FALSE, "csv", "trend.csv", OFN_OVERWRITEPROMPT, "CSV files (*.csv)|*.csv|All files
//   (*.*)|*.*||", this); if (dlg.DoModal() == IDOK) Save(dlg.GetPathName());
#pragma once

#include "cstring.h"
#include "windefs.h"

#include <string>
#include <utility>
#include <vector>

class CWnd;

class CFileDialog {
public:
    /// A dialog to open (`openFileDialog` TRUE) or save a file. `defaultExt` (without its dot) is
    /// added to a name typed without one; `fileName` is the name proposed; `flags` are OFN_* values
    /// (OFN_OVERWRITEPROMPT asks before a file is replaced); `filter` is pairs of a description and
    /// its patterns, each followed by '|', the list ended by a second '|'. `parent` owns the dialog.
    explicit CFileDialog(BOOL openFileDialog, const char* defaultExt = nullptr,
                         const char* fileName = nullptr, DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                         const char* filter = nullptr, CWnd* parent = nullptr);

    /// Runs the dialog modally: IDOK when a file was chosen, IDCANCEL when the dialog was cancelled.
    INT_PTR DoModal();
    /// The whole path chosen by the last DoModal that returned IDOK; empty otherwise.
    CString GetPathName() const { return m_strPath; }

    /// The filter as (description, patterns) pairs: "A (*.a)|*.a|B|*.b;*.c||" gives
    /// {"A (*.a)", "*.a"}, {"B", "*.b;*.c"}.
    static std::vector<std::pair<std::string, std::string>> ParseFilter(const char* filter);

private:
    BOOL m_bOpen;
    std::string m_strDefExt;
    std::string m_strFileName;
    DWORD m_dwFlags;
    std::string m_strFilter;
    CWnd* m_pParent;
    CString m_strPath;
};
