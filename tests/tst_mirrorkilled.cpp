// sonovert-encode --mirror killed at any moment, then run again: the tree an uninterrupted run gives.
#include "mirrortest.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <unistd.h>

class TstMirrorKilled : public MirrorTest
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void killed_data();
    void killed();
    void onStick_data();
    void onStick();
};

void TstMirrorKilled::killed_data()
{
    QTest::addColumn<int>("killAfterMs");
    QTest::addColumn<QString>("settings"); // of the run killed; the library is first mirrored without
    for (const int ms : {30, 120, 300, 700, 1500}) {
        QTest::addRow("new, killed at %d ms", ms) << ms << QString();
        QTest::addRow("bit rate, killed at %d ms", ms) << ms << QStringLiteral("--bitrate=64");
    }
}

// Killed at any moment, the same command again gives the tree an uninterrupted run gives, and
// then has nothing left to do.
void TstMirrorKilled::killed()
{
    QFETCH(int, killAfterMs);
    QFETCH(QString, settings);
    const QString src = m_dir.filePath(QStringLiteral("killed-src"));
    m_dst = m_dir.filePath(QStringLiteral("killed-dst"));
    QDir(m_dst).removeRecursively();
    if (!QFileInfo::exists(src)) {
        for (quint32 seed = 1; seed <= 8; ++seed)
            QVERIFY(writeTrack(QStringLiteral("%1/%2/%3.wav").arg(src).arg(seed % 2).arg(seed), seed, "T", 4));
    }
    QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst, QStringLiteral("--jobs=2")};
    if (!settings.isEmpty()) {
        QCOMPARE(encode(args).exitCode, 0);
        args << settings;
    }
    encode(args, killAfterMs);
    const Run again = encode(args);
    QVERIFY2(again.exitCode == 0, qPrintable(again.err));
    QCOMPARE(tree(m_dst), batchOf(src, settings.isEmpty() ? QStringList() : QStringList {settings}));
    QCOMPARE(encode(args + QStringList {QStringLiteral("--dry-run")}).out,
             QStringLiteral("0 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash\n"));
}

void TstMirrorKilled::onStick_data()
{
    QTest::addColumn<QString>("fileSystem");
    QTest::newRow("FAT through fusefat") << "fat";
    QTest::newRow("exFAT on a loop device") << "exfat";
}

// On a stick's file system (no O_TMPFILE, times of 2 s, no letter case): a run killed, then the
// same command, leaves no temporary file and the batch's tree; then nothing to do, and a rename
// in letter case alone is a move.
void TstMirrorKilled::onStick()
{
    QFETCH(QString, fileSystem);
    if (::geteuid() != 0)
        QSKIP("mounting a file system image needs root");
    m_image = m_dir.filePath(fileSystem + QStringLiteral(".img"));
    m_stick = m_dir.filePath(fileSystem + QStringLiteral("-stick"));
    const auto unmount = qScopeGuard([this] { unmountStick(); });
    if (const QString why = mountStick(fileSystem); !why.isEmpty())
        QSKIP(qPrintable(why));
    const QString src = m_dir.filePath(QStringLiteral("stick-src"));
    m_dst = m_stick + QStringLiteral("/mp3");
    if (!QFileInfo::exists(src)) {
        for (quint32 seed = 1; seed <= 6; ++seed)
            QVERIFY(writeTrack(QStringLiteral("%1/%2/%3.wav").arg(src, seed % 2 ? "demos" : "live").arg(seed), seed, "T", 4));
    }
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst, QStringLiteral("--jobs=2")};
    encode(args, 1500);
    const Run again = encode(args);
    QVERIFY2(again.exitCode == 0, qPrintable(again.err));
    QDirIterator all(m_stick, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (all.hasNext()) {
        const QString path = all.next();
        QVERIFY2(!all.fileName().startsWith(QLatin1String(".sonovert-")) || all.fileName().startsWith(QLatin1String(".sonovert-mirror.sqlite")),
                 qPrintable(path));
    }
    QCOMPARE(tree(m_dst), batchOf(src, {}));
    const QString nothing = QStringLiteral("0 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash\n");
    QCOMPARE(encode(args + QStringList {QStringLiteral("--dry-run")}).out, nothing);
    // The record in a rollback journal (its header's write version 1, not the log's 2): the
    // stick's file system has no shared memory for a write-ahead log.
    QFile record(m_dst + QStringLiteral("/.sonovert-mirror.sqlite"));
    QVERIFY(record.open(QIODevice::ReadOnly));
    QCOMPARE(int(record.read(20).at(18)), 1);

    QVERIFY(QDir().rename(src + QStringLiteral("/demos"), src + QStringLiteral("/DEMOS")));
    const auto renamed = qScopeGuard([&src] { QDir().rename(src + QStringLiteral("/DEMOS"), src + QStringLiteral("/demos")); });
    const Run moved = encode(args);
    QVERIFY2(moved.exitCode == 0 && moved.err.contains(QStringLiteral("moved 3")), qPrintable(moved.err));
    QCOMPARE(encode(args + QStringList {QStringLiteral("--dry-run")}).out, nothing);
}

QTEST_GUILESS_MAIN(TstMirrorKilled)
#include "tst_mirrorkilled.moc"
