#include "menu.h"

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, const char* text) {
    if (flags & MF_SEPARATOR) {
        m_items.push_back({flags, 0, CString()});
        return TRUE;
    }
    if (!text) return FALSE;
    m_items.push_back({flags, id, CString(text)});
    return TRUE;
}
