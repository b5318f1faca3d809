// Test main of the framework's Windows backend: the one application object, as a framework program
// has (its name gives box captions), and the system's controls.
#include <afxwin.h>

#include <gtest/gtest.h>

CWinApp g_testApp;

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    AfxInitPlatform();
    return RUN_ALL_TESTS();
}
