#include "appearance.h"

#include <QApplication>
#include <QFont>
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
