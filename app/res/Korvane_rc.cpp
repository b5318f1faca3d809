// The program's resources: the three dialog templates, the icon (from the XPM pictures beside this
// file) and the string table. Registered with the framework during static initialisation; this file
// is compiled into the executable itself, never into a static library the linker could drop it from.
#include "resource.h"

#include <afxwin.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "korvane16.xpm"
#include "korvane32.xpm"

namespace {

// Main window: the plotting area fills the client; the controls stand along its edges.
const DialogItemTemplate kMainItems[] = {
    {IDOK, "Button", "OK", 182, 7, 50, 14, 0x50010001},
    {IDC_XVALUE, "Edit", "", 193, 84, 40, 14, 0x50810080},
    {IDC_YVALUE, "Edit", "", 75, 7, 40, 14, 0x50810080},
    {-1, "Static", "X:", 181, 90, 8, 8, 0x50020000},
    {-1, "Static", "Y:", 63, 13, 8, 8, 0x50020000},
    {IDC_RIGHTBUTTON, "Edit", "", 207, 184, 25, 14, 0x50010880},
    {IDC_LEFTBUTTON, "Edit", "", 62, 184, 40, 14, 0x50010880},
    {-1, "Static", "Left Button (B1): ", 7, 184, 53, 8, 0x50020000},
    {-1, "Static", "Right Button (B0):", 147, 184, 57, 8, 0x50020000},
    {IDC_TILT, "Button", "TILT", 7, 7, 34, 10, 0x50020009},
    {IDC_DVM, "Button", "DVM", 7, 20, 34, 10, 0x50000009},
};
const DialogTemplate kMainDialog{"Korvane",       0, 0,         239, 199, 0x90C800C0, 0x00040000,
                                 "MS Sans Serif", 8, kMainItems};

const DialogItemTemplate kAboutItems[] = {
    {-1, "Static", "#128", 11, 17, 20, 20, 0x50000003},
    {-1, "Static", "Korvane Version 1.0", 40, 10, 119, 8, 0x50020080},
    {-1, "Static", "Sensor board console", 40, 25, 119, 8, 0x50020000},
    {IDOK, "Button", "OK", 178, 7, 50, 14, 0x50030001},
};
const DialogTemplate kAboutDialog{"About Korvane", 0, 0,          235, 55, 0x80C800C0, 0,
                                  "MS Sans Serif", 8, kAboutItems};

const DialogItemTemplate kPortItems[] = {
    {IDOK, "Button", "OK", 129, 7, 50, 14, 0x50010001},
    {-1, "Static", "Unable to open port.  Please enter a new COM ", 19, 29, 150, 8, 0x50020000},
    {-1, "Static", "port number and click OK.", 20, 41, 83, 8, 0x50020000},
    {IDC_PORTNUMBER, "Edit", "", 74, 53, 40, 14, 0x50810080},
    {IDCANCEL, "Button", "Terminate Program", 94, 74, 85, 14, 0x50010000},
};
const DialogTemplate kPortDialog{"Port Selection Dialog", 0, 0,         186, 95, 0x80C800C0, 0,
                                 "MS Sans Serif",         8, kPortItems};

// Trend window: modeless and resizable (the plot fills what the controls along the top leave).
const DialogItemTemplate kTrendItems[] = {
    {-1, "Static", "Span:", 7, 9, 22, 8, 0x50020000},
    {IDC_TREND_SPAN10, "Button", "10 s", 30, 7, 30, 12, 0x50030009},
    {IDC_TREND_SPAN60, "Button", "60 s", 62, 7, 30, 12, 0x50000009},
    {IDC_TREND_SPAN600, "Button", "10 min", 94, 7, 38, 12, 0x50000009},
    {IDC_TREND_PAUSE, "Button", "Pause", 150, 6, 50, 14, 0x50010000},
    {IDC_TREND_SAVE, "Button", "Save CSV...", 206, 6, 56, 14, 0x50010000},
};
const DialogTemplate kTrendDialog{"Korvane Trend", 0, 0,          320, 200, 0x90CF0040, 0,
                                  "MS Sans Serif", 8, kTrendItems};

// An XPM picture as the framework's icon image: "<w> <h> <colours> 1", then one "<key> c <colour>"
// line per colour (#RRGGBB or None), then the rows. Both pictures share one palette.
struct XpmIcon {
    std::vector<IconPaletteEntry> palette;
    IconResource resource;
};

int XpmColourCount(const char* const* xpm) {
    int width = 0, height = 0, colours = 0, chars = 0;
    if (std::sscanf(xpm[0], "%d %d %d %d", &width, &height, &colours, &chars) != 4 || chars != 1) {
        std::fprintf(stderr, "korvane: malformed icon picture\n");
        std::abort(); // a build-time asset: caught the first time the program starts
    }
    return colours;
}

COLORREF XpmColour(const char* line) {
    unsigned rgb = 0;
    if (std::sscanf(line + 1, " c #%6x", &rgb) != 1) return ICON_TRANSPARENT; // "None"
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

XpmIcon MakeIcon(const char* const* big, const char* const* small) {
    XpmIcon icon;
    int colours = XpmColourCount(big);
    for (int i = 1; i <= colours; ++i) icon.palette.push_back({big[i][0], XpmColour(big[i])});
    icon.resource.palette = icon.palette;
    icon.resource.big = {32, {big + 1 + colours, 32}};
    icon.resource.small = {16, {small + 1 + XpmColourCount(small), 16}};
    return icon;
}

const XpmIcon kIcon = MakeIcon(korvane_icon_32, korvane_icon_16);

const DialogResource kDialogs[] = {
    {IDD_ABOUTBOX, &kAboutDialog},
    {IDD_KORVANE_DIALOG, &kMainDialog},
    {IDD_PORTSELECT, &kPortDialog},
    {IDD_TREND, &kTrendDialog},
};
const IconResourceEntry kIcons[] = {{IDR_MAINFRAME, &kIcon.resource}};
const StringResource kStrings[] = {
    {IDS_ABOUTBOX, "&About Korvane..."},
    {IDS_TREND, "&Trend..."},
    {AFX_IDS_APP_TITLE, "Korvane"}, // message box captions
};
const ResourceTable kTable{kDialogs, kIcons, kStrings};
ResourceRegistration g_registration{kTable};

} // namespace
