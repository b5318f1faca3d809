// The framework's entry point.
#include "qt_internal.h"

#include "../winapp.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

bool HasDisplay() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && value[0]) return true;
    }
    return false;
}

int RunApp(CWinApp* app) {
    afx_detail::InitPlatform();
    app->m_bMainWndFailed = FALSE;
    if (app->InitInstance()) QApplication::exec();
    int code = app->ExitInstance();
    return code == 0 && app->m_bMainWndFailed ? 1 : code;
}

} // namespace

void AfxInitPlatform() {
    afx_detail::InitPlatform();
}

int AfxWinMain(int argc, char** argv) {
    CWinApp* app = AfxNamedApp(argc, argv);
    if (!app) return 1;
    if (QApplication::instance()) return RunApp(app);
    // Without a display Qt aborts; say what to do instead.
    if (!HasDisplay()) {
        std::fprintf(stderr, "%s: no display: set DISPLAY, or QT_QPA_PLATFORM=offscreen to run without one\n",
                     app->m_strExeName.c_str());
        return 1;
    }
    QApplication qtApp(argc, argv);
    return RunApp(app);
}
