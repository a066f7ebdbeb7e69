#include "appearance.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWidget>

namespace {
// Fusion's check box square is 14 pixels; the layout's check boxes are 13 high.
class LayoutStyle : public QProxyStyle
{
public:
    LayoutStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight)
            return 13;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};
} // namespace

void setUpAppearance()
{
    QApplication::setStyle(new LayoutStyle);
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

void describeToolTips(QWidget *window)
{
    for (QWidget *control : window->findChildren<QWidget *>())
        if (!control->toolTip().isEmpty() && control->accessibleDescription().isEmpty())
            control->setAccessibleDescription(control->toolTip());
}
