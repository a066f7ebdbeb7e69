#include "appearance.h"
#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpAppearance();
    Form1 form;
    form.show();
    return app.exec();
}
