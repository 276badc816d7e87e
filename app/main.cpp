#include "app/Pelotune.h"
#include "core/Log.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Before the application object: the settings store and the data location are named by them.
    QCoreApplication::setOrganizationName("Drivana");
    QCoreApplication::setApplicationName("Pelotune");

    auto* application = new QApplication(argc, argv);
    auto* window = new Pelotune();
    window->show();
    const int result = application->exec();

    delete window;
    rezezaz::core::Log::destroy();
    delete application;
    return result;
}
