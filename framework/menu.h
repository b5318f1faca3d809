// CMenu: a list of menu items. The window's system menu is one (see CWnd::GetSystemMenu).
#pragma once

#include "cstring.h"
#include "windefs.h"

#include <vector>

class CMenu {
public:
    struct Item {
        UINT flags;   ///< MF_STRING or MF_SEPARATOR, optionally MF_GRAYED
        UINT_PTR id;  ///< command id sent when the item is chosen
        CString text; ///< '&' marks the access key, "&&" is a literal '&'
    };

    /// Appends an item (MF_SEPARATOR: id and text are ignored); FALSE for an MF_STRING item without text.
    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const char* text = nullptr);
    /// Number of items.
    int GetMenuItemCount() const { return static_cast<int>(m_items.size()); }
    /// The items in order.
    const std::vector<Item>& Items() const { return m_items; }
    /// Removes every item.
    void Clear() { m_items.clear(); }

private:
    std::vector<Item> m_items;
};
