// The application tests need one QApplication for the whole run; it is made before the first test.
#include <QApplication>

#include <gtest/gtest.h>

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
