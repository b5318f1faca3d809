// A modeless dialog owned by a modal one, over the Win32 API: its keys reach its dialog manager
// inside the owner's modal loop, its end waits for its own handler, and the owner's end closes it.
#include "test_dialog.h"

#include <win32/win32_internal.h>

#include <gtest/gtest.h>

TEST(Win32Modeless, AnOwnedDialogTakesEscapeInsideItsOwnersModalLoopAndClosesWithIt) {
    CTestDlg owner, child(&owner);
    int phase = 0;
    bool goneAfterEscape = false;
    owner.onInit = [](CTestDlg& d) { d.SetTimer(1, 100); };
    owner.onTimer = [&](CTestDlg& d, UINT_PTR) {
        switch (phase++) {
        case 0:
            ASSERT_TRUE(child.Create());
            PostMessageA(GetDlgItem(child.Impl()->hwnd, IDC_NAME), WM_KEYDOWN, VK_ESCAPE, 0);
            break;
        case 1:
            goneAfterEscape = child.m_hWnd == nullptr;
            child.Create();
            break;
        default: // ends the run at the third tick
            d.EndDialog(IDOK);
        }
    };
    EXPECT_EQ(owner.DoModal(), IDOK);
    EXPECT_TRUE(goneAfterEscape) << "Escape in the owned dialog ended it";
    EXPECT_EQ(child.m_hWnd, nullptr) << "closed with its owner";
}
