#pragma once

#include <QDBusConnection>
#include <QString>

// One desktop notification (org.freedesktop.Notifications) with the program's name and icon.
// Nothing is waited for and nothing is reported: without a session bus or a notification service
// it does nothing.
void notifyDesktop(const QDBusConnection &bus, const QString &summary, const QString &body);

// The desktop entry the notifications and the taskbar signals name, as the desktop knows the
// program.
inline constexpr const char *kDesktopEntry = "sonovert.desktop";
