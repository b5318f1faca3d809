#include "test_dialog.h"

namespace {

// Test template: the main window's style and font, with an int field, a text field, a read-only
// field, a radio group, a push button with the cancel id and an icon.
const DialogItemTemplate kItems[] = {
    {IDOK, "Button", "OK", 182, 7, 50, 14, 0x50010001},
    {IDC_NUMBER, "Edit", "", 75, 7, 40, 14, 0x50810080},
    {-1, "Static", "&Number:", 40, 9, 30, 8, 0x50020000},
    {IDC_NAME, "Edit", "", 75, 25, 60, 14, 0x50810080},
    {IDC_INFO, "Edit", "", 75, 43, 40, 14, 0x50010880},
    {IDC_ONE, "Button", "One", 7, 7, 30, 10, 0x50020009},
    {IDC_TWO, "Button", "Two", 7, 20, 30, 10, 0x50000009},
    {IDC_THREE, "Button", "Three", 7, 33, 30, 10, 0x50000009},
    {IDCANCEL, "Button", "Stop", 182, 25, 50, 14, 0x50010000},
    {-1, "Static", "#9100", 200, 170, 20, 20, 0x50000003},
};
const DialogTemplate kTestDialog{"Framework Test", 0, 0,     239, 199, 0x90C800C0, 0x00040000,
                                 "MS Sans Serif",  8, kItems};

const IconPaletteEntry kPalette[] = {{'.', ICON_TRANSPARENT}, {'r', RGB(255, 0, 0)}, {'b', RGB(0, 0, 255)}};
// 32x32: a red square with a blue centre, its bottom row transparent but the last pixel; 16x16: blue.
constexpr const char* kR = "rrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrr";
constexpr const char* kC = "rrrrrrrrrrrrbbbbbbbbrrrrrrrrrrrr";
constexpr const char* kB = "bbbbbbbbbbbbbbbb";
const char* const kBig[] = {
    kR, kR, kR, kR, kR, kR, kR, kR, kR, kR, kR, kR, kC, kC, kC, kC,
    kC, kC, kC, kC, kR, kR, kR, kR, kR, kR, kR, kR, kR, kR, kR, "...............................r"};
const char* const kSmall[] = {kB, kB, kB, kB, kB, kB, kB, kB, kB, kB, kB, kB, kB, kB, kB, kB};
const IconResource kIcon{kPalette, {32, kBig}, {16, kSmall}};

const DialogResource kDialogs[] = {{IDD_TEST, &kTestDialog}};
const IconResourceEntry kIcons[] = {{IDI_TEST, &kIcon}};
const StringResource kStrings[] = {{IDS_TEST_ABOUT, "&About Test..."}};
const ResourceTable kTable{kDialogs, kIcons, kStrings};
ResourceRegistration g_registration{kTable};

} // namespace

const MessageMap* CTestDlg::ThisMessageMap() {
    static const MessageMapEntry entries[] = {{WM_SYSCOMMAND}, {WM_PAINT}, {WM_TIMER}};
    static const MessageMap map{CDialog::ThisMessageMap(), entries};
    return &map;
}

void CTestDlg::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, IDC_NAME, m_strName);
    DDX_Text(dx, IDC_NUMBER, m_nNumber);
    DDX_Radio(dx, IDC_ONE, m_nChoice);
}

BOOL CTestDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CString about;
    CMenu* sysMenu = GetSystemMenu(FALSE);
    if (sysMenu && about.LoadString(IDS_TEST_ABOUT) && !about.IsEmpty()) {
        sysMenu->AppendMenu(MF_SEPARATOR);
        sysMenu->AppendMenu(MF_STRING, IDM_TEST_ABOUT, about);
    }
    HICON icon = AfxGetApp()->LoadIcon(IDI_TEST);
    SetIcon(icon, TRUE);
    SetIcon(icon, FALSE);
    if (onInit) onInit(*this);
    return TRUE;
}

void CTestDlg::OnPaint() {
    CPaintDC dc(this);
    ++paints;
    if (onPaint) onPaint(dc);
    Default();
}

void CTestDlg::OnSysCommand(UINT id, LPARAM lParam) {
    sysCommands.push_back(id);
    if ((id & 0xFFF0) == IDM_TEST_ABOUT) return EndDialog(static_cast<int>(IDM_TEST_ABOUT));
    CDialog::OnSysCommand(id, lParam);
}
