// sonovert-encode --mirror killed at any moment, then run again: the tree an uninterrupted run gives.
#include "mirrortest.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

class TstMirrorKilled : public MirrorTest
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void killed_data();
    void killed();
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

QTEST_GUILESS_MAIN(TstMirrorKilled)
#include "tst_mirrorkilled.moc"
