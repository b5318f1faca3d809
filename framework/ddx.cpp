#include "ddx.h"

#include "dialog.h"
#include "msgbox.h"
#include "resources.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <strings.h>
#include <vector>

namespace afx_detail {
// Controls by template index (implemented by the backend).
BOOL IsItemChecked(const CWnd* wnd, int index);
void SetItemChecked(CWnd* wnd, int index, BOOL checked);
void FocusItem(CWnd* wnd, int id, BOOL selectAll);
} // namespace afx_detail

namespace {

// Longest number the exchange reads; the rest of the field is ignored.
constexpr size_t kIntFieldChars = 31;
constexpr const char* kIntRefused = "Please enter an integer.";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsRadio(const DialogItemTemplate& item) {
    DWORD type = item.style & BS_TYPEMASK;
    bool button = strcasecmp(item.windowClass, "Button") == 0;
    return button && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
}

// Template indices of the radio buttons in the group that starts at control `id`.
std::vector<int> RadioGroup(const CWnd* wnd, int id) {
    std::vector<int> group;
    const auto* dlg = dynamic_cast<const CDialog*>(wnd);
    const DialogTemplate* t = dlg ? dlg->GetTemplate() : nullptr;
    if (!t) return group;
    size_t first = 0;
    while (first < t->items.size() && t->items[first].id != id) ++first;
    for (size_t i = first; i < t->items.size(); ++i) {
        if (i > first && (t->items[i].style & WS_GROUP)) break;
        if (IsRadio(t->items[i])) group.push_back(static_cast<int>(i));
    }
    return group;
}

} // namespace

BOOL AfxParseDialogInt(const char* text, int* value) {
    std::string field(text ? text : "");
    if (field.size() > kIntFieldChars) field.resize(kIntFieldChars);
    size_t i = 0;
    while (i < field.size() && IsBlank(field[i])) ++i;
    bool zeroAllowed = i < field.size() && field[i] == '0';
    bool negative = i < field.size() && field[i] == '-';
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) ++i;
    int64_t magnitude = 0;
    size_t digits = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i, ++digits) {
        // Stop growing past the 32-bit range; the clamp below gives the same result.
        if (magnitude <= INT64_C(0x100000000)) magnitude = magnitude * 10 + (field[i] - '0');
    }
    while (i < field.size() && IsBlank(field[i])) ++i;
    if (digits == 0 || i != field.size()) return FALSE;
    if (magnitude == 0 && !zeroAllowed) return FALSE;
    int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT_MAX) signedValue = INT_MAX;
    if (signedValue < INT_MIN) signedValue = INT_MIN;
    *value = static_cast<int>(signedValue);
    return TRUE;
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
    if (dx->Failed()) return;
    if (dx->m_bSaveAndValidate) {
        dx->m_pDlgWnd->GetDlgItemText(id, value);
    } else {
        dx->m_pDlgWnd->SetDlgItemText(id, value);
    }
}

void DDX_Text(CDataExchange* dx, int id, int& value) {
    if (dx->Failed()) return;
    if (!dx->m_bSaveAndValidate) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", value);
        dx->m_pDlgWnd->SetDlgItemText(id, text);
        return;
    }
    CString text;
    dx->m_pDlgWnd->GetDlgItemText(id, text);
    if (AfxParseDialogInt(text, &value)) return;
    AfxMessageBox(kIntRefused, MB_OK | MB_ICONWARNING);
    afx_detail::FocusItem(dx->m_pDlgWnd, id, TRUE);
    dx->Fail();
}

void DDX_Radio(CDataExchange* dx, int id, int& value) {
    if (dx->Failed()) return;
    std::vector<int> group = RadioGroup(dx->m_pDlgWnd, id);
    if (dx->m_bSaveAndValidate) {
        value = -1;
        for (size_t n = 0; n < group.size(); ++n) {
            if (afx_detail::IsItemChecked(dx->m_pDlgWnd, group[n])) value = static_cast<int>(n);
        }
        return;
    }
    for (size_t n = 0; n < group.size(); ++n) {
        afx_detail::SetItemChecked(dx->m_pDlgWnd, group[n], static_cast<int>(n) == value);
    }
}
