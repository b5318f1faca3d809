// The default services and the one installed place.
#include "LibraryServices.h"

namespace {

LibraryServices g_defaults;
LibraryServices* g_installed = nullptr;

} // namespace

DWORD LibraryServices::TickCount() {
    return GetTickCount();
}

void LibraryServices::ShowError(const char* text, const char* caption) {
    MessageBoxA(GetFocus(), text, caption, MB_OK);
}

LibraryServices& Services() {
    return g_installed ? *g_installed : g_defaults;
}

LibraryServices* SetLibraryServices(LibraryServices* services) {
    LibraryServices* previous = g_installed;
    g_installed = services;
    return previous;
}
