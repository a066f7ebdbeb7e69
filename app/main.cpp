#include "common/appearance.h"
#include "form1.h"
#include "version.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral(SONOVERT_NAME));
    QApplication::setApplicationVersion(QStringLiteral(SONOVERT_VERSION_TEXT));
    QApplication::setOrganizationName(QStringLiteral("Orvane Software"));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("sonovert"));
    setUpAppearance();
    Form1 form;
    form.show();
    return app.exec();
}
