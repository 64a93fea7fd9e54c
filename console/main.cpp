// KELTA_Dispaly: the sensor console.

#include "console/UKELTA_Display.h"
#include "serial/portmap/PortMap.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KELTA_Dispaly"));
    // Help windows may still be open; the program ends with the main window.
    QApplication::setQuitOnLastWindowClosed(false);

    kelta::TFVANTORIS window(kelta::ExecutableDir());
    QObject::connect(&window, &kelta::TFVANTORIS::Closed, &app, &QApplication::quit);
    window.show();
    return QApplication::exec();
}
