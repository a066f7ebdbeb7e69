#include "desktopnotices.h"

#include "notify/desktopnotice.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace {
constexpr qint64 progressInterval = 250; // ms: a dock redraws its badge at every signal
const QString launcherPath = QStringLiteral("/com/canonical/unity/launcherentry/sonovert");
} // namespace

DesktopNotices::DesktopNotices(const QDBusConnection &bus, QObject *parent) : QObject(parent), m_bus(bus)
{
}

void DesktopNotices::showProgress(double fraction)
{
    fraction = qBound(0.0, fraction, 1.0);
    if (m_sent >= 0 && (fraction == m_sent || (fraction < 1 && m_sinceSent.elapsed() < progressInterval)))
        return;
    sendProgress(fraction, true);
}

void DesktopNotices::hideProgress()
{
    if (m_sent < 0)
        return;
    sendProgress(0, false);
    m_sent = -1;
}

void DesktopNotices::sendProgress(double fraction, bool visible)
{
    m_sent = fraction;
    m_sinceSent.start();
    if (!m_bus.isConnected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(launcherPath, QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    update << QStringLiteral("application://") + QLatin1String(kDesktopEntry)
           << QVariantMap{{QStringLiteral("progress"), fraction}, {QStringLiteral("progress-visible"), visible}};
    m_bus.send(update);
}

void DesktopNotices::notify(const QString &summary, const QString &body)
{
    notifyDesktop(m_bus, summary, body);
}
