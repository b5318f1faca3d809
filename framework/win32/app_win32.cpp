// The framework's entry point on Windows.
#include "win32_internal.h"

#include "../winapp.h"

#include <commctrl.h>

#include <cstdio>

void AfxInitPlatform() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

int AfxWinMain(int argc, char** argv) {
    CWinApp* app = AfxNamedApp(argc, argv);
    if (!app) return 1;
    AfxInitPlatform();
    app->m_bMainWndFailed = FALSE;
    if (app->InitInstance()) {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            HWND dialog = GetActiveWindow();
            if (dialog && IsDialogMessageA(dialog, &msg)) continue; // keys of a modeless dialog
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    int code = app->ExitInstance();
    return code == 0 && app->m_bMainWndFailed ? 1 : code; // a missing main dialog is no success
}
