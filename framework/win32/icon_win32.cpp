// Icons: real icon resources of the executable (an .ico compiled in with windres). The pictures
// registered with AfxRegisterResources are the POSIX backend's; here the resource of the same id is
// loaded.
#include "win32_internal.h"

#include "../winapp.h"

#include <cstdio>

HICON CWinApp::LoadIcon(UINT id) const {
    HICON icon = ::LoadIconA(afx_detail::Instance(), MAKEINTRESOURCEA(id)); // shared: loaded once
    if (!icon)
        std::fprintf(stderr, "%s: icon resource %u is not in the executable\n", m_strExeName.c_str(), id);
    return icon;
}
