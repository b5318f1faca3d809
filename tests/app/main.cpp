// Test main: a private configuration directory (set by the board helpers before main runs), the
// program's profile named as the program's own, and Qt offscreen unless told otherwise.
#include "KorvaneApp.h"
#include "board_session.h" // its private configuration directory is set before main runs

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    theApp.SetExeName("korvane"); // the profile path follows XDG_CONFIG_HOME as set by now
    AfxInitPlatform();
    return RUN_ALL_TESTS();
}
