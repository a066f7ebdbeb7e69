#include "appearance.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QWidget>

bool maximisesAnyway()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

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

// Weston ends the connection of a window that stays smaller than the screen when maximised
// ("does not match the configured maximized state"): the window is allowed the size, and the
// maximise is taken back as soon as it has been applied.
class UnmaximiseFilter : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = static_cast<QWidget *>(watched);
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::LayoutRequest:
            // After the window's own handling, which may fix its size again (QMessageBox does).
            QTimer::singleShot(0, window, [window] {
                window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            });
            break;
        case QEvent::WindowStateChange:
            if (window->windowState() & Qt::WindowMaximized)
                QTimer::singleShot(0, window, [window] {
                    window->setWindowState(window->windowState() & ~Qt::WindowMaximized);
                });
            break;
        default:
            break;
        }
        return false;
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

void keepUnmaximised(QWidget *window)
{
    if (maximisesAnyway())
        window->installEventFilter(new UnmaximiseFilter(window));
}

int widthForWholeTitle(const QString &title)
{
    if (!maximisesAnyway())
        return 0;
    // Qt 6.4's title bar: 14-pixel text centred over the window, cut on the right where three
    // 18-pixel buttons with their spacing and margin begin (77 pixels); as much on the left.
    QFont font = QGuiApplication::font();
    font.setPixelSize(14);
    constexpr int buttonsSide = 77;
    constexpr int slack = 8;
    return QFontMetrics(font).horizontalAdvance(title) + 2 * buttonsSide + slack;
}
