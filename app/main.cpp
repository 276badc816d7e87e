#include "app/Pelotune.h"
#include "core/Log.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Before the application object: the settings store and the data location are named by them.
    QCoreApplication::setOrganizationName("Drivana");
    QCoreApplication::setApplicationName("Pelotune");

    // The calibration view draws through GLX on its own X window: under Wayland the program runs
    // through XWayland rather than without its view. A platform the user chose stays.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    auto* application = new QApplication(argc, argv);
    auto* window = new Pelotune();
    window->show();
    const int result = application->exec();

    delete window;
    rezezaz::core::Log::destroy();
    delete application;
    return result;
}
