// The platform-independent part of CFileDialog: its arguments and the filter list.
#include "filedlg.h"

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExt, const char* fileName, DWORD flags,
                         const char* filter, CWnd* parent)
    : m_bOpen(openFileDialog), m_strDefExt(defaultExt ? defaultExt : ""),
      m_strFileName(fileName ? fileName : ""), m_dwFlags(flags), m_strFilter(filter ? filter : ""),
      m_pParent(parent) {}

std::vector<std::pair<std::string, std::string>> CFileDialog::ParseFilter(const char* filter) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string rest = filter ? filter : "";
    for (;;) {
        size_t bar = rest.find('|');
        if (bar == std::string::npos || bar == 0) break; // "||" (or a missing end) closes the list
        size_t next = rest.find('|', bar + 1);
        if (next == std::string::npos) next = rest.size();
        pairs.emplace_back(rest.substr(0, bar), rest.substr(bar + 1, next - bar - 1));
        rest = next < rest.size() ? rest.substr(next + 1) : std::string();
    }
    return pairs;
}
