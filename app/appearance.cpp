#include "appearance.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QStyleFactory>

void setUpAppearance()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont font;
    // Liberation Sans has the widths of the fonts the layout was drawn with.
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("sans-serif")});
    font.setPointSize(8);
    QApplication::setFont(font);
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 72, 96, 128})
        icon.addFile(QStringLiteral(":/pictures/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}
