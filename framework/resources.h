// Resources: dialog templates, icons and strings are plain data in the application (app/res/) that
// the framework reads. The application describes them with the structures below and hands them to
// the framework once, before the first dialog is built, with AfxRegisterResources (a static
// ResourceRegistration object in the resource file does that before InitInstance runs).
//
// Link the resource file into the executable itself, or into a CMake OBJECT library: nothing
// refers to its registration object by name, so in a STATIC library the linker drops the whole
// file, and every dialog then fails with "dialog template N is not registered (its resource file
// was not linked in)" on stderr.
//
//   add_library(myapp_objects OBJECT MyDlg.cpp res/MyApp_rc.cpp)   # not STATIC
//   add_executable(myapp main.cpp)
//   target_link_libraries(myapp PRIVATE myapp_objects)
//
// Geometry is in dialog units (DLU) as in a Windows template: x units are a quarter of the
// template font's average character width, y units an eighth of its height.
#pragma once

#include "windefs.h"

#include <cstddef>
#include <span>

/// One control of a dialog template, in tab order.
struct DialogItemTemplate {
    int id;                  ///< control id; -1 when the control has none
    const char* windowClass; ///< "Button", "Edit" or "Static" (case-insensitive)
    const char* text;        ///< caption; for an SS_ICON static the icon resource as "#<id>"
    int x, y, cx, cy;        ///< position and size in dialog units
    DWORD style;             ///< WS_*, BS_*, ES_*, SS_* bits
};

/// A dialog template: caption, size in dialog units, font, styles and controls.
struct DialogTemplate {
    const char* caption;
    int x, y, cx, cy;     ///< client area position and size in dialog units
    DWORD style;          ///< WS_* and DS_* bits (WS_SYSMENU gives a system menu)
    DWORD exStyle;        ///< WS_EX_* bits
    const char* fontName; ///< e.g. "MS Sans Serif"; mapped to an installed, metric-compatible font
    int pointSize;        ///< font size in points
    std::span<const DialogItemTemplate> items;
};

/// Colour of one key character in an icon picture.
struct IconPaletteEntry {
    char key;
    COLORREF color; ///< ICON_TRANSPARENT for see-through pixels
};
inline constexpr COLORREF ICON_TRANSPARENT = 0xFFFFFFFFu;

/// One picture of an icon: `size` rows of `size` key characters each (XPM-like).
struct IconImage {
    int size;
    std::span<const char* const> rows;
};

/// An icon resource: a 32x32 picture (window, drag and minimised icon) and a 16x16 one (title bar),
/// both drawn with one palette.
struct IconResource {
    std::span<const IconPaletteEntry> palette;
    IconImage big;
    IconImage small;
};

struct DialogResource {
    UINT id;
    const DialogTemplate* dialog;
};
struct IconResourceEntry {
    UINT id;
    const IconResource* icon;
};
struct StringResource {
    UINT id;
    const char* text;
};

/// Everything one module contributes. The arrays must outlive the program (static data).
struct ResourceTable {
    std::span<const DialogResource> dialogs;
    std::span<const IconResourceEntry> icons;
    std::span<const StringResource> strings;
};

/// Adds a table to the registry; a later table's entries win over an earlier table's with the same id.
void AfxRegisterResources(const ResourceTable& table);

/// Registers a table during static initialisation: `static ResourceRegistration reg{kTable};`.
struct ResourceRegistration {
    explicit ResourceRegistration(const ResourceTable& table) { AfxRegisterResources(table); }
};

/// The dialog template with `id`, or null when none is registered.
const DialogTemplate* AfxFindDialogTemplate(UINT id);
/// The icon resource with `id`, or null when none is registered.
const IconResource* AfxFindIconResource(UINT id);
/// The string with `id`, or null when none is registered.
const char* AfxFindString(UINT id);
