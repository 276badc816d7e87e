// The calibration view's tests need one QApplication on the X server named by DISPLAY. Without one
// (listing the tests, a run outside the test command) the toolkit starts off screen and every test
// skips, or fails where a context is required.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Last: Xlib's macros would break the toolkit's headers.
#include "support/gl/XTestWindow.h"

extern "C" const char* __tsan_default_suppressions();

extern "C" const char* __tsan_default_suppressions()
{
    return "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n"
           "race:libQt6Widgets.so\n"
           "race:libQt6Network.so\n"
           // The X platform's event reader thread hands events to the GUI thread through a queue of
           // its own that ThreadSanitizer cannot see into (the toolkit is not built with it).
           "race:libQt6XcbQpa.so\n"
           "race:libglib-2.0.so\n";
}

int main(int argc, char* argv[])
{
    bool display = false;
    if (Display* connection = XOpenDisplay(nullptr)) {
        XCloseDisplay(connection);
        display = true;
    }
    if (!display) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    if (display) {
        gltest::keepGLDriverLoaded();
    }
    QCoreApplication::setOrganizationName("Drivana");
    QCoreApplication::setApplicationName("Pelotune");
    QApplication application(argc, argv);
    QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder.path());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
