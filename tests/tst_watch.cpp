// sonovert-encode --mirror --watch: the decisions in-process, then the watch run for real on a
// small library, waiting for its log lines.
#include "mirrortest.h"
#include "wavegen.h"

#include "cli/watchdestination.h"
#include "cli/watchplan.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

#include <sys/inotify.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QString kSynced = QStringLiteral("written and synced: eject it when you like");

} // namespace

class TestWatch : public MirrorTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void decisions_data();
    void decisions();
    void effects_data();
    void effects();
    void destinations_data();
    void destinations();
    void keptInStep();
    void stoppedMidAlbum();
    void stickOutAndBack();

private:
    void start(const QStringList &extra = {});
    // Waits up to 60 s for the count'th line holding text since the start; the line.
    QString waitFor(const QString &text, int count = 1);
    qsizetype countOf(const QString &text) const { return m_log.count(text); }
    QStringList mp3sBelow(const QString &folder) const;

    std::unique_ptr<QProcess> m_watch;
    QString m_log;
};

void TestWatch::init()
{
    m_src = m_dir.filePath(QStringLiteral("src"));
    m_dst = m_dir.filePath(QStringLiteral("dst"));
    QDir(m_src).removeRecursively();
    QDir(m_dst).removeRecursively();
    m_log.clear();
}

void TestWatch::cleanup()
{
    if (m_watch && m_watch->state() != QProcess::NotRunning) {
        m_watch->kill();
        m_watch->waitForFinished();
    }
    m_watch.reset();
}

void TestWatch::start(const QStringList &extra)
{
    m_watch = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath("xdg"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    m_watch->setProcessEnvironment(environment);
    connect(m_watch.get(), &QProcess::readyReadStandardError, this,
            [this] { m_log += QString::fromUtf8(m_watch->readAllStandardError()); });
    m_watch->start(QStringLiteral(SONOVERT_ENCODE), QStringList {QStringLiteral("--mirror"), m_src, QStringLiteral("-o"),
                                                                 m_dst, QStringLiteral("--watch"),
                                                                 QStringLiteral("--settle=1")}
                                                        + extra);
    QVERIFY(m_watch->waitForStarted());
}

QString TestWatch::waitFor(const QString &text, int count)
{
    QElapsedTimer waited;
    waited.start();
    while (countOf(text) < count && waited.elapsed() < 60000 && m_watch->state() == QProcess::Running)
        QTest::qWait(20);
    if (countOf(text) < count)
        return {};
    qsizetype at = -1;
    for (int i = 0; i < count; ++i)
        at = m_log.indexOf(text, at + 1);
    const qsizetype begin = m_log.lastIndexOf(QLatin1Char('\n'), at) + 1;
    return m_log.mid(begin, m_log.indexOf(QLatin1Char('\n'), at) - begin);
}

QStringList TestWatch::mp3sBelow(const QString &folder) const
{
    QStringList names = tree(folder).keys();
    names.removeIf([](const QString &name) { return !name.endsWith(QLatin1String(".mp3")); });
    return names;
}

void TestWatch::decisions_data()
{
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("folders");
    QTest::addColumn<int>("writing");
    QTest::addColumn<qint64>("lastChangeMs");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("timeoutMs");
    const int sleep = int(WatchStep::Sleep), wait = int(WatchStep::Wait), run = int(WatchStep::Run);
    // now is 100000 ms, the settle time 2000 ms.
    QTest::newRow("nothing seen: no timeout") << false << 0 << 0 << qint64(-1) << sleep << -1;
    QTest::newRow("start, SIGHUP, a mount: at once") << true << 0 << 0 << qint64(-1) << run << 0;
    QTest::newRow("a change just now") << false << 1 << 0 << qint64(100000) << wait << 2000;
    QTest::newRow("a change 1.5 s ago") << false << 2 << 0 << qint64(98500) << wait << 500;
    QTest::newRow("settled") << false << 3 << 0 << qint64(98000) << run << 0;
    QTest::newRow("settled, a file still open for writing") << false << 1 << 1 << qint64(95000) << wait << 7000;
    QTest::newRow("a file open, not written to for 12 s") << false << 1 << 1 << qint64(88000) << run << 0;
    QTest::newRow("lost events while a change settles") << true << 1 << 0 << qint64(99000) << wait << 1000;
}

void TestWatch::decisions()
{
    QFETCH(bool, full);
    QFETCH(int, folders);
    QFETCH(int, writing);
    QFETCH(qint64, lastChangeMs);
    WatchPending pending;
    pending.full = full;
    for (int i = 0; i < folders; ++i)
        pending.folders.insert(QStringLiteral("/m/a%1").arg(i));
    for (int i = 0; i < writing; ++i)
        pending.writing.insert(QStringLiteral("/m/a0/%1.wav").arg(i));
    pending.lastChangeMs = lastChangeMs;
    const WatchDecision decision = decideWatch(pending, 100000, 2000);
    QTEST(int(decision.step), "step");
    QTEST(decision.timeoutMs, "timeoutMs");
}

void TestWatch::effects_data()
{
    QTest::addColumn<uint>("mask");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("effect");
    QTest::newRow("written to") << uint(IN_MODIFY) << "1.wav" << int(WatchEffect::Writing);
    QTest::newRow("closed after writing") << uint(IN_CLOSE_WRITE) << "1.wav" << int(WatchEffect::Closed);
    QTest::newRow("a link made") << uint(IN_CREATE) << "1.wav" << int(WatchEffect::Changed);
    QTest::newRow("deleted") << uint(IN_DELETE) << "1.wav" << int(WatchEffect::Changed);
    QTest::newRow("a folder made") << uint(IN_CREATE | IN_ISDIR) << "B" << int(WatchEffect::FolderAdded);
    QTest::newRow("a folder moved out") << uint(IN_MOVED_FROM | IN_ISDIR) << "B" << int(WatchEffect::FolderGone);
    QTest::newRow("the folder itself moved") << uint(IN_MOVE_SELF) << "" << int(WatchEffect::RootGone);
    QTest::newRow("its disk unmounted") << uint(IN_UNMOUNT) << "" << int(WatchEffect::RootGone);
    QTest::newRow("events lost") << uint(IN_Q_OVERFLOW) << "" << int(WatchEffect::Overflow);
    QTest::newRow("the run's clock probe") << uint(IN_CLOSE_WRITE) << ".sonovert-clock-a1B2c3" << int(WatchEffect::None);
    QTest::newRow("the probe, unnamed") << uint(IN_CLOSE_WRITE) << "#11002101" << int(WatchEffect::None);
    QTest::newRow("a file named with a number") << uint(IN_CLOSE_WRITE) << "#1 hit.wav" << int(WatchEffect::Closed);
    QTest::newRow("a folder only read") << uint(IN_ISDIR) << "B" << int(WatchEffect::None);
}

void TestWatch::effects()
{
    QFETCH(uint, mask);
    QFETCH(QString, name);
    QTEST(int(effectOf(mask, name)), "effect");
}

void TestWatch::destinations_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<bool>("seenBefore");
    QTest::addColumn<int>("state");
    const int ready = int(DestinationState::Ready), missing = int(DestinationState::Missing),
              notOurs = int(DestinationState::NotOurs);
    QTest::newRow("parent not there") << "none" << false << missing;
    QTest::newRow("parent an empty folder (a mount point)") << "empty parent" << false << missing;
    QTest::newRow("parent with files: made by the run") << "parent" << false << ready;
    QTest::newRow("gone after a run found it") << "parent" << true << missing;
    QTest::newRow("an empty folder") << "empty" << false << ready;
    QTest::newRow("a fresh disk's own files") << "fresh" << false << ready;
    QTest::newRow("files, no record") << "files" << false << notOurs;
    QTest::newRow("a record of these sources") << "ours" << false << ready;
    QTest::newRow("a record of other sources") << "others" << false << notOurs;
}

void TestWatch::destinations()
{
    QFETCH(QString, shape);
    QFETCH(bool, seenBefore);
    const QString parent = m_dir.filePath(QStringLiteral("place"));
    QDir(parent).removeRecursively();
    const QString mirror = parent + QStringLiteral("/Music");
    if (shape != QLatin1String("none"))
        QVERIFY(QDir().mkpath(parent));
    if (shape == QLatin1String("parent"))
        QVERIFY(writeBytes(parent + QStringLiteral("/notes.txt"), "x"));
    if (shape == QLatin1String("empty") || shape == QLatin1String("fresh") || shape == QLatin1String("files"))
        QVERIFY(QDir().mkpath(mirror));
    if (shape == QLatin1String("fresh"))
        QVERIFY(QDir().mkpath(mirror + QStringLiteral("/lost+found")) && QDir().mkpath(mirror + QStringLiteral("/.Trash-1000")));
    if (shape == QLatin1String("files"))
        QVERIFY(writeBytes(mirror + QStringLiteral("/song.mp3"), "ID3"));
    if (shape == QLatin1String("ours") || shape == QLatin1String("others")) {
        const QString library = shape == QLatin1String("ours") ? m_src : m_dir.filePath(QStringLiteral("other"));
        QVERIFY(writeTrack(library + QStringLiteral("/A/1.wav"), 11, "One"));
        QCOMPARE(encode({QStringLiteral("--mirror"), library, QStringLiteral("-o"), mirror}).exitCode, 0);
        QVERIFY(writeTrack(m_src + QStringLiteral("/B/1.wav"), 12, "Two"));
    }
    const DestinationLook look = lookAtDestination(mirror, {m_src}, seenBefore);
    QTEST(int(look.state), "state");
    QCOMPARE(look.why.isEmpty(), look.state == DestinationState::Ready);
}

void TestWatch::keptInStep()
{
    QVERIFY(writeTrack(m_src + QStringLiteral("/A/1.wav"), 11, "One"));
    QVERIFY(writeTrack(m_src + QStringLiteral("/A/2.wav"), 12, "Two"));
    start({QStringLiteral("--gone=delete")});
    QVERIFY2(!waitFor(kSynced).isEmpty(), qPrintable(m_log));
    QCOMPARE(mp3sBelow(m_dst).size(), 2);

    // An album arriving a file at a time: none of it is taken before it has settled.
    for (int track = 1; track <= 3; ++track) {
        QVERIFY(writeTrack(m_src + QStringLiteral("/B/%1.wav").arg(track), 20 + track, "Track " + QByteArray::number(track)));
        QTest::qWait(300);
        QCOMPARE(mp3sBelow(m_dst).size(), 2);
    }
    QVERIFY2(waitFor(QStringLiteral("converted "), 2).contains(QLatin1String("converted 3, encoded again 0")), qPrintable(m_log));
    QVERIFY(!waitFor(kSynced, 2).isEmpty());
    QCOMPARE(mp3sBelow(m_dst).size(), 5);

    // A retag, a folder renamed (a move, nothing converted), a deletion.
    QVERIFY(writeTrack(m_src + QStringLiteral("/A/1.wav"), 11, "One, again"));
    QVERIFY2(waitFor(QStringLiteral("converted "), 3).contains(QLatin1String("converted 0, encoded again 0, retagged 1")),
             qPrintable(m_log));
    QVERIFY(QDir(m_src).rename(QStringLiteral("A"), QStringLiteral("A2")));
    QVERIFY2(waitFor(QStringLiteral("converted "), 4).contains(QLatin1String("converted 0, encoded again 0, retagged 0, moved 2, trashed 0")),
             qPrintable(m_log));
    QVERIFY(QFile::remove(m_src + QStringLiteral("/B/3.wav")));
    QVERIFY2(waitFor(QStringLiteral("converted "), 5).contains(QLatin1String("deleted 1")), qPrintable(m_log));
    QVERIFY(!waitFor(kSynced, 5).isEmpty());
    QCOMPARE(mp3sBelow(m_dst).size(), 4);

    // The library renamed away: nothing goes, and it is waited for; back again, nothing to do.
    QVERIFY(QDir().rename(m_src, m_src + QStringLiteral("-away")));
    QVERIFY2(!waitFor(QStringLiteral("nothing trashed; waiting for it")).isEmpty(), qPrintable(m_log));
    QCOMPARE(mp3sBelow(m_dst).size(), 4);
    QVERIFY(QDir().rename(m_src + QStringLiteral("-away"), m_src));
    QVERIFY2(waitFor(QStringLiteral("converted "), 6).contains(QLatin1String("converted 0, encoded again 0, retagged 0, moved 0, trashed 0")),
             qPrintable(m_log));
    QVERIFY(!waitFor(kSynced, 6).isEmpty());
    QCOMPARE(tree(m_dst), batchOf(m_src, {}));
    // A run by hand holds the mirror: the watch's run says so, changes nothing, and is tried again
    // at the next change.
    {
        QLockFile manual(m_dst + QStringLiteral("/.sonovert-mirror.lock"));
        QVERIFY(manual.tryLock(0));
        QVERIFY(writeTrack(m_src + QStringLiteral("/B/3.wav"), 23, "Track 3"));
        QVERIFY2(!waitFor(QStringLiteral("tried again at the next change")).isEmpty(), qPrintable(m_log));
        QVERIFY(m_log.contains(QLatin1String("another run holds the mirror")));
        QCOMPARE(mp3sBelow(m_dst).size(), 4);
    }
    QVERIFY(writeTrack(m_src + QStringLiteral("/B/3.wav"), 23, "Track 3"));
    QVERIFY2(waitFor(QStringLiteral("converted "), 7).contains(QLatin1String("converted 1")), qPrintable(m_log));
    QVERIFY(!waitFor(kSynced, 7).isEmpty());
    QCOMPARE(mp3sBelow(m_dst).size(), 5);
    // SIGHUP asks for a run over everything, which finds nothing to do.
    ::kill(pid_t(m_watch->processId()), SIGHUP);
    QVERIFY2(waitFor(QStringLiteral("converted "), 8).contains(QLatin1String("converted 0, encoded again 0, retagged 0, moved 0, trashed 0")),
             qPrintable(m_log));
    QVERIFY(!waitFor(kSynced, 8).isEmpty());

    // Idle, the watch sleeps in poll() without a timeout: strace sees nothing but the poll it
    // interrupted, and the mount events of others on this machine (a poll woken by the mount
    // table, the roots looked at again).
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (!strace.isEmpty()) {
        // Not beside the library: its parent is watched.
        QTemporaryDir traceDir;
        const QString trace = traceDir.filePath(QStringLiteral("idle.trace"));
        QProcess tracer;
        tracer.start(strace, {QStringLiteral("-f"), QStringLiteral("-o"), trace, QStringLiteral("-p"),
                              QString::number(m_watch->processId())});
        QVERIFY(tracer.waitForStarted());
        QTest::qWait(2000);
        tracer.terminate();
        QVERIFY(tracer.waitForFinished(10000));
        QStringList calls = QString::fromUtf8(contentOf(trace)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        calls.removeIf([](const QString &line) {
            if (line.contains(QLatin1String("restart_syscall")) || line.contains(QLatin1String("+++"))
                || line.contains(QLatin1String("---")))
                return true;
            if (line.contains(QLatin1String("Timeout")) || line.contains(QLatin1String("revents=POLLIN")))
                return false;
            return line.contains(QLatin1String(" poll(")) || line.contains(QLatin1String(" inotify_add_watch("))
                   || line.contains(QLatin1String(" newfstatat("));
        });
        QVERIFY2(calls.isEmpty(), qPrintable(calls.join(QLatin1Char('\n'))));
    }
    ::kill(pid_t(m_watch->processId()), SIGTERM);
    QVERIFY(m_watch->waitForFinished(10000));
    QCOMPARE(m_watch->exitCode(), 143);
}

void TestWatch::stoppedMidAlbum()
{
    QVERIFY(writeTrack(m_src + QStringLiteral("/A/1.wav"), 11, "One"));
    start();
    QVERIFY2(!waitFor(kSynced).isEmpty(), qPrintable(m_log));
    for (int track = 1; track <= 3; ++track)
        QVERIFY(writeTrack(m_src + QStringLiteral("/C/%1.wav").arg(track), 40 + track, "Long " + QByteArray::number(track), 12));
    QVERIFY2(!waitFor(QStringLiteral("changed: a run")).isEmpty(), qPrintable(m_log));
    QTest::qWait(150);
    QElapsedTimer stopping;
    stopping.start();
    ::kill(pid_t(m_watch->processId()), SIGTERM);
    QVERIFY(m_watch->waitForFinished(10000));
    QCOMPARE(m_watch->exitCode(), 143);
    QVERIFY2(stopping.elapsed() < 5000, qPrintable(QString::number(stopping.elapsed())));
    QVERIFY2(!m_log.contains(QLatin1String("converted 3")), qPrintable(m_log)); // stopped mid-album
    for (const QString &name : tree(m_dst).keys())
        QVERIFY2(!name.endsWith(QLatin1String(".part")) && !name.contains(QLatin1String(".sonovert-work")), qPrintable(name));
    // The next start finishes it with the batch's bytes.
    const Run finish = encode({QStringLiteral("--mirror"), m_src, QStringLiteral("-o"), m_dst});
    QVERIFY2(finish.exitCode == 0, qPrintable(finish.err));
    QCOMPARE(tree(m_dst), batchOf(m_src, {}));
}

void TestWatch::stickOutAndBack()
{
    const QString store = m_dir.filePath(QStringLiteral("store"));
    const QString stick = m_dir.filePath(QStringLiteral("stick"));
    QVERIFY(QDir().mkpath(store) && QDir().mkpath(stick));
    const auto plugIn = [&] {
        return ::mount(QFile::encodeName(store).constData(), QFile::encodeName(stick).constData(), nullptr, MS_BIND, nullptr) == 0;
    };
    if (!plugIn())
        QSKIP("a stick is played by a bind mount, which needs root (CAP_SYS_ADMIN)");
    const auto pullOut = qScopeGuard([&] { ::umount2(QFile::encodeName(stick).constData(), MNT_DETACH); });
    m_dst = stick + QStringLiteral("/Music");
    QVERIFY(writeTrack(m_src + QStringLiteral("/A/1.wav"), 11, "One"));
    start();
    QVERIFY2(!waitFor(kSynced).isEmpty(), qPrintable(m_log));
    // Nothing is held open on the stick between runs, or this would fail with EBUSY.
    QCOMPARE(::umount2(QFile::encodeName(stick).constData(), 0), 0);
    QVERIFY(writeTrack(m_src + QStringLiteral("/A/2.wav"), 12, "Two"));
    QVERIFY2(!waitFor(QStringLiteral("waiting for it")).isEmpty(), qPrintable(m_log));
    QVERIFY(!QFileInfo::exists(m_dst)); // not made on the empty mount point
    QVERIFY(plugIn());
    QVERIFY2(!waitFor(kSynced, 2).isEmpty(), qPrintable(m_log));
    QCOMPARE(mp3sBelow(m_dst).size(), 2);
    // Ctrl-C on a terminal ends it as SIGTERM does, with its own status.
    ::kill(pid_t(m_watch->processId()), SIGINT);
    QVERIFY(m_watch->waitForFinished(10000));
    QCOMPARE(m_watch->exitCode(), 130);
}

QTEST_GUILESS_MAIN(TestWatch)
#include "tst_watch.moc"
