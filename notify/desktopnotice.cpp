#include "desktopnotice.h"

#include "version.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

void notifyDesktop(const QDBusConnection &bus, const QString &summary, const QString &body)
{
    if (!bus.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QString entry = QString::fromLatin1(kDesktopEntry).chopped(int(sizeof(".desktop")) - 1);
    notify << QStringLiteral(SONOVERT_NAME) << 0u << entry << summary << body << QStringList()
           << QVariantMap{{QStringLiteral("desktop-entry"), entry}} << -1;
    // The reply, or the error when no service runs, is of no use: sent without waiting.
    bus.send(notify);
}
