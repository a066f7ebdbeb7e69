#include "closecommand.h"

#include <QWidget>
#include <QWindow>

namespace {
constexpr char withdrawnProperty[] = "closeWithdrawn";

// Changing the flags of the native window in place tells the window manager at once, without
// the hide and show that QWidget::setWindowFlags would cause.
void setCloseButton(QWidget *window, bool on)
{
    if (QWindow *native = window->windowHandle())
        native->setFlag(Qt::WindowCloseButtonHint, on);
}
} // namespace

namespace Module1 {

void RemoveCloseMenu(QWidget *window)
{
    window->setProperty(withdrawnProperty, true);
    setCloseButton(window, false);
}

void RestoreCloseMenu(QWidget *window)
{
    window->setProperty(withdrawnProperty, false);
    setCloseButton(window, true);
}

bool isCloseWithdrawn(const QWidget *window)
{
    return window->property(withdrawnProperty).toBool();
}

} // namespace Module1
