#include "appearance.h"
#include "form1.h"
#include "encoder/filesizesignal.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    ignoreFileSizeSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sonovert 1.1"));
    QApplication::setApplicationVersion(QStringLiteral("1.01"));
    QApplication::setOrganizationName(QStringLiteral("Orvane Software"));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("sonovert"));
    setUpAppearance();
    Form1 form;
    form.show();
    return app.exec();
}
