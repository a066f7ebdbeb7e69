// What the desktop hears of a run, on a private session bus of the test's own: the taskbar's
// progress signals and one notification for a run that ends behind another window.
#include "windowtest.h"

#include "wavegen.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>

// A session bus for this process alone, started before the application so that the window's
// QDBusConnection::sessionBus() is this one. No services are activated on it.
class PrivateBus
{
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty() || !m_dir.isValid())
            return;
        QFile config(m_dir.filePath("bus.conf"));
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write("<busconfig><type>session</type><listen>unix:dir=" + QFile::encodeName(m_dir.path())
                     + "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        config.close();
        m_daemon.start(daemon, {"--nofork", "--nopidfile", "--print-address", "--config-file=" + config.fileName()});
        if (!m_daemon.waitForReadyRead(5000))
            return;
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

Q_GLOBAL_STATIC(QString, busAddress)

// A small org.freedesktop.Notifications that records what it is sent.
class NotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notice
    {
        QString app, icon, summary, body;
        QVariantMap hints;
    };
    std::vector<Notice> received;

public slots:
    uint Notify(const QString &app, uint, const QString &icon, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &hints, int)
    {
        received.push_back({app, icon, summary, body, hints});
        return uint(received.size());
    }
    QStringList GetCapabilities() { return {"body"}; }
};

// Every com.canonical.Unity.LauncherEntry Update heard on the bus.
class LauncherListener : public QObject
{
    Q_OBJECT

public:
    struct Update
    {
        QString app;
        double progress;
        bool visible;
        qint64 at; // ms since the listener was made
    };
    std::vector<Update> updates;
    QElapsedTimer clock;

public slots:
    void heard(const QString &app, const QVariantMap &properties)
    {
        updates.push_back({app, properties.value("progress").toDouble(),
                           properties.value("progress-visible").toBool(), clock.elapsed()});
    }
};

class TestDesktop : public WindowTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void runEnd_data();
    void runEnd();

private:
    QTemporaryDir m_dir;
    QString m_wave;
    QString m_notWave;
};

void TestDesktop::initTestCase()
{
    if (busAddress->isEmpty())
        QSKIP("no dbus-daemon for a private session bus (scripts/install-deps test installs it)");
    QVERIFY(QDBusConnection::sessionBus().isConnected());
    setUpAppearance();
    m_wave = m_dir.filePath("in.wav");
    QString error;
    QVERIFY2(writeMusicWave(m_wave, 6.0, 44100, 2, &error), qPrintable(error));
    // Long enough to be taken, but not audio: the run fails.
    m_notWave = m_dir.filePath("text.wav");
    QFile text(m_notWave);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(1000000, 'a'));
}

void TestDesktop::cleanup()
{
    m_form.reset();
    QFile::remove(m_dir.filePath("out.mp3"));
}

void TestDesktop::runEnd_data()
{
    QTest::addColumn<bool>("fails");
    QTest::addColumn<bool>("behind");  // another window of the desktop is the active one
    QTest::addColumn<bool>("service"); // a notification service runs
    QTest::addColumn<QString>("summary"); // of the one notification; empty: none
    QTest::newRow("finished in front") << false << false << true << "";
    QTest::newRow("finished behind another window") << false << true << true << "Finished Encoding!";
    QTest::newRow("failed in front") << true << false << true << "";
    QTest::newRow("failed behind another window") << true << true << true << "Encoding failed";
    QTest::newRow("finished behind, no notification service") << false << true << false << "";
}

void TestDesktop::runEnd()
{
    QFETCH(bool, fails);
    QFETCH(bool, behind);
    QFETCH(bool, service);
    QFETCH(QString, summary);

    // The desktop's side, on a connection of its own.
    QDBusConnection desktop = QDBusConnection::connectToBus(*busAddress, QTest::currentDataTag());
    QVERIFY(desktop.isConnected());
    NotificationService notifications;
    if (service) {
        QVERIFY(desktop.registerObject("/org/freedesktop/Notifications", &notifications, QDBusConnection::ExportAllSlots));
        QVERIFY(desktop.registerService("org.freedesktop.Notifications"));
    }
    LauncherListener launcher;
    launcher.clock.start();
    QVERIFY(desktop.connect({}, {}, "com.canonical.Unity.LauncherEntry", "Update", &launcher,
                            SLOT(heard(QString, QVariantMap))));
    const auto cleanUp = qScopeGuard([&] {
        desktop.unregisterService("org.freedesktop.Notifications");
        desktop.unregisterObject("/org/freedesktop/Notifications");
        QDBusConnection::disconnectFromBus(QTest::currentDataTag());
    });

    QWidget other;
    other.setWindowTitle("another program");
    if (behind) {
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
    } else {
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    m_prompter.answers = {fails ? m_notWave : m_wave, m_dir.filePath("out.mp3")};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
    QElapsedTimer run;
    run.start();
    click(*m_form, "btencode");
    // The window's own box appears as ever, in front or not.
    QTRY_VERIFY_WITH_TIMEOUT(fails ? m_prompter.saw("Error", "Error Found")
                                   : m_prompter.saw("Finished Encoding!", "Finished"), 30000);
    const qint64 ran = run.elapsed();
    QTest::qWait(300); // the signals' way over the bus; nothing late after them

    if (summary.isEmpty()) {
        QCOMPARE(notifications.received.size(), size_t(0));
    } else {
        QCOMPARE(notifications.received.size(), size_t(1));
        const NotificationService::Notice &notice = notifications.received.front();
        QCOMPARE(notice.app, QString("Sonovert 1.1"));
        QCOMPARE(notice.icon, QString("sonovert"));
        QCOMPARE(notice.hints.value("desktop-entry").toString(), QString("sonovert"));
        QCOMPARE(notice.summary, summary);
        if (fails)
            QVERIFY(!notice.body.isEmpty());
        else
            QCOMPARE(notice.body, QString("out.mp3"));
    }
    QCOMPARE(m_prompter.messages.size(), size_t(1));

    // Progress rises, reaches 1 only on a finished run, and is hidden last. A run that fails
    // before the first tick showed none.
    const auto &updates = launcher.updates;
    QVERIFY(fails || updates.size() >= 2);
    if (updates.empty())
        return;
    double last = 0;
    for (size_t i = 0; i + 1 < updates.size(); ++i) {
        QCOMPARE(updates[i].app, QString("application://sonovert.desktop"));
        QVERIFY(updates[i].visible);
        QVERIFY2(updates[i].progress >= last, qPrintable(QString::number(updates[i].progress)));
        last = updates[i].progress;
    }
    QCOMPARE(last == 1.0, !fails);
    QVERIFY(!updates.back().visible);
    // A few a second at most: four a second, the first and the last besides.
    QVERIFY2(qint64(updates.size()) <= ran / 250 + 3, qPrintable(QString::number(updates.size())));
}

int main(int argc, char *argv[])
{
    PrivateBus bus;
    *busAddress = bus.address();
    QApplication app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
