// The application tests need one QApplication for the whole run; it is made before the first test.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Read by ThreadSanitizer when it is in the build (the other builds ignore it). The toolkit and GLib
// are not instrumented, so their locks are invisible to it: the toolkit's painting worker threads and
// its network thread's event wake-ups look unsynchronised. What is reported inside those libraries,
// or in the calls they make themselves, is not the program's.
extern "C" const char* __tsan_default_suppressions();

extern "C" const char* __tsan_default_suppressions()
{
    return "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n"
           "race:libQt6Widgets.so\n"
           "race:libQt6Network.so\n"
           "race:libglib-2.0.so\n";
}

int main(int argc, char* argv[])
{
    // Listing the tests runs this too, also outside the test scripts: never ask for a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QCoreApplication::setOrganizationName("Drivana");
    QCoreApplication::setApplicationName("Pelotune");
    QApplication application(argc, argv);
    // The pages' settings store (the calibration's length and weight) lives apart from the user's.
    QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder.path());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
