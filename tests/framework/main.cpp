// Test main: Qt wants its application object before any widget, and needs a platform; the tests
// run offscreen unless QT_QPA_PLATFORM says otherwise (e.g. xcb under Xvfb).
#include <afxwin.h>

#include <QApplication>

#include <gtest/gtest.h>

// The one application object, as a framework program has (its name gives box captions).
CWinApp g_testApp;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    AfxInitPlatform();
    return RUN_ALL_TESTS();
}
