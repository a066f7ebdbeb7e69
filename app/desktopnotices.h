#pragma once

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

// Tells the desktop about a run over D-Bus: its progress on the taskbar icon (the
// com.canonical.Unity.LauncherEntry signal that KDE Plasma, GNOME's docks and Unity read) and a
// notification (org.freedesktop.Notifications) when it ends. Nothing is waited for and nothing
// is reported: without a session bus or a notification service it does nothing.
class DesktopNotices : public QObject
{
    Q_OBJECT

public:
    explicit DesktopNotices(const QDBusConnection &bus, QObject *parent = nullptr);

    // The taskbar shows fraction (0 to 1) of the run done. Sent at most four times a second;
    // the first value and 1 always go out.
    void showProgress(double fraction);
    // The taskbar shows no progress any more; only sent when it showed some.
    void hideProgress();
    // One notification with the program's name and icon.
    void notify(const QString &summary, const QString &body);

private:
    void sendProgress(double fraction, bool visible);

    QDBusConnection m_bus;
    QElapsedTimer m_sinceSent;
    double m_sent = -1; // the fraction last sent; below 0 while none is shown
};
