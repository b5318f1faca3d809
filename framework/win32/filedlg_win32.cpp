// CFileDialog over the common dialogs GetSaveFileName and GetOpenFileName.
#include "win32_internal.h"

#include "../filedlg.h"

#include <commdlg.h>

#include <string>

INT_PTR CFileDialog::DoModal() {
    m_strPath = "";
    // The system's filter form: each description and its patterns ended by a zero, then one more.
    std::string filter;
    for (const auto& [description, patterns] : ParseFilter(m_strFilter.c_str())) {
        filter += description + '\0' + patterns + '\0';
    }
    filter += '\0';
    char path[MAX_PATH] = {};
    m_strFileName.copy(path, sizeof path - 1);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    WndImpl* owner = m_pParent ? m_pParent->Impl() : nullptr;
    ofn.hwndOwner = owner ? owner->hwnd : GetActiveWindow();
    ofn.lpstrFilter = filter.size() > 1 ? filter.c_str() : nullptr;
    ofn.lpstrFile = path;
    ofn.nMaxFile = sizeof path;
    ofn.lpstrDefExt = m_strDefExt.empty() ? nullptr : m_strDefExt.c_str();
    ofn.Flags = m_dwFlags | OFN_NOCHANGEDIR;
    BOOL chosen = m_bOpen ? GetOpenFileNameA(&ofn) : GetSaveFileNameA(&ofn);
    if (!chosen) return IDCANCEL;
    m_strPath = path;
    return IDOK;
}
