// The application tests need one QApplication for the whole run; it is made before the first test.
#include <QApplication>

#include <gtest/gtest.h>

// Read by ThreadSanitizer when it is in the build. The toolkit paints with worker threads of its own
// that synchronise through its uninstrumented libraries: what it reports inside them is not ours.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n"
           "race:libQt6Widgets.so\n";
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
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
