// The mirror's record as the plan reads it: the rows whose MP3 path leads out of the mirror's
// folder are left out, the others given in the order of their MP3s' paths.
#include "cli/manifest.h"

#include <QTemporaryDir>
#include <QtTest>

class TstMirrorRecord : public QObject
{
    Q_OBJECT

private slots:
    void paths_data();
    void paths();
    void order();
};

void TstMirrorRecord::paths_data()
{
    QTest::addColumn<QString>("mp3");
    QTest::addColumn<bool>("kept");
    QTest::newRow("below a folder") << "A/01.mp3" << true;
    QTest::newRow("at the top") << "01.mp3" << true;
    QTest::newRow("a name beginning with dots") << "..A/...mp3" << true;
    QTest::newRow("a name ending with dots") << "A../01.mp3.." << true;
    QTest::newRow("absolute") << "/etc/01.mp3" << false;
    QTest::newRow("up and out") << "../01.mp3" << false;
    QTest::newRow("up and out below") << "A/../../01.mp3" << false;
    QTest::newRow("up and back") << "A/../A/01.mp3" << false;
    QTest::newRow("the folder itself") << "." << false;
    QTest::newRow("its parent") << ".." << false;
    QTest::newRow("a dot folder") << "A/./01.mp3" << false;
    QTest::newRow("a doubled slash") << "A//01.mp3" << false;
    QTest::newRow("a folder") << "A/" << false;
}

void TstMirrorRecord::paths()
{
    QFETCH(QString, mp3);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Manifest manifest;
    QVERIFY(manifest.open(dir.filePath(QStringLiteral("record.sqlite"))));
    MirrorRecord record;
    record.source = QStringLiteral("01.wav");
    record.mp3 = mp3;
    QVERIFY(manifest.put(record));
    record.source = QStringLiteral("02.wav");
    record.mp3 = QStringLiteral("B/02.mp3");
    QVERIFY(manifest.put(record));
    const Result<std::vector<MirrorRecord>> read = manifest.records();
    QVERIFY(read);
    QStringList mp3s;
    for (const MirrorRecord &each : *read)
        mp3s << each.mp3;
    QCOMPARE(mp3s.contains(mp3), kept);
    QCOMPARE(mp3s.size(), kept ? 2 : 1);
    QVERIFY(mp3s.contains(QStringLiteral("B/02.mp3")));
}

void TstMirrorRecord::order()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Manifest manifest;
    QVERIFY(manifest.open(dir.filePath(QStringLiteral("record.sqlite"))));
    int n = 0;
    for (const char *mp3 : {"b/1.mp3", "a/2.mp3", "a/10.mp3", "B/3.mp3", "a b/4.mp3"}) {
        MirrorRecord record;
        record.source = QString::number(++n) + QStringLiteral(".wav");
        record.mp3 = QString::fromUtf8(mp3);
        QVERIFY(manifest.put(record));
    }
    const Result<std::vector<MirrorRecord>> read = manifest.records();
    QVERIFY(read);
    QStringList mp3s;
    for (const MirrorRecord &record : *read)
        mp3s << record.mp3;
    QCOMPARE(mp3s, (QStringList {"B/3.mp3", "a b/4.mp3", "a/10.mp3", "a/2.mp3", "b/1.mp3"}));
}

QTEST_GUILESS_MAIN(TstMirrorRecord)
#include "tst_mirrorrecord.moc"
