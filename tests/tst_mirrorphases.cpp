// The mirror's plan in-process, phase by phase: the record as it reads it (the rows whose MP3
// path leads out of the mirror's folder left out, the others in the order of their MP3s' paths),
// and the album figures made again where an album's tracks are not those recorded.
#include "cli/manifest.h"
#include "cli/mirrorplanphases.h"

#include <QTemporaryDir>
#include <QtTest>

class TstMirrorPhases : public QObject
{
    Q_OBJECT

private slots:
    void paths_data();
    void paths();
    void order();
    void albums_data();
    void albums();
};

void TstMirrorPhases::paths_data()
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

void TstMirrorPhases::paths()
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

void TstMirrorPhases::order()
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

void TstMirrorPhases::albums_data()
{
    // The records' MP3s ("@SOURCE": its source, else the MP3's path as a WAVE; "=copy": an MP3
    // copied as it is), the album's two tracks' MP3s before
    // (a record's, or "-" for none) and steps, and whether the album's gain is applied.
    QTest::addColumn<QString>("records");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("gainApplied");
    QTest::addColumn<QString>("planned");
    const QString two = QStringLiteral("A/1.mp3 A/2.mp3");
    QTest::newRow("as recorded") << two << two << "keep keep" << false << "keep|keep";
    QTest::newRow("an MP3 copied beside its tracks") << "A/1.mp3 A/2.mp3 A/x.mp3=copy" << two << "keep keep"
                                                     << false << "keep|keep";
    QTest::newRow("a track encoded again") << two << two << "again keep" << false << "encode again|album figures";
    QTest::newRow("a track gone") << "A/1.mp3 A/2.mp3 A/3.mp3" << two << "keep keep" << false
                                  << "album figures|album figures";
    QTest::newRow("a track from another folder") << "A/1.mp3 B/2.mp3" << "A/1.mp3 B/2.mp3" << "keep keep" << false
                                                 << "album figures|album figures";
    QTest::newRow("a new track") << "A/1.mp3" << "A/1.mp3 -" << "keep convert" << false << "album figures|convert";
    QTest::newRow("two albums' MP3s in one folder") << "1.mp3@A/1.wav 2.mp3@A/2.wav 3.mp3@B/1.wav" << "1.mp3 2.mp3"
                                                    << "keep keep" << false << "keep|keep";
    QTest::newRow("a track from another album, one folder") << "1.mp3@A/1.wav 2.mp3@B/2.wav" << "1.mp3 2.mp3"
                                                            << "keep keep" << false << "album figures|album figures";
    QTest::newRow("the album's gain applied") << two << two << "again keep" << true << "encode again|encode again";
}

void TstMirrorPhases::albums()
{
    QFETCH(QString, records);
    QFETCH(QString, before);
    QFETCH(QString, steps);
    QFETCH(bool, gainApplied);
    QFETCH(QString, planned);
    MirrorPlan plan;
    plan.withAlbums = true;
    for (const QString &mp3 : records.split(QLatin1Char(' '))) {
        MirrorRecord &record = plan.records.emplace_back();
        const QString named = mp3.section(QLatin1Char('='), 0, 0);
        record.mp3 = named.section(QLatin1Char('@'), 0, 0);
        record.source = named.contains(QLatin1Char('@')) ? named.section(QLatin1Char('@'), 1)
                                                         : record.mp3.chopped(4) + QStringLiteral(".wav");
        record.settings = mp3.endsWith(QLatin1String("=copy")) ? copiedAsItIs() : QByteArray("s");
    }
    const QStringList befores = before.split(QLatin1Char(' '));
    const QStringList stepWords = steps.split(QLatin1Char(' '));
    plan.albumTracks = {int(befores.size())};
    for (qsizetype track = 0; track < befores.size(); ++track) {
        MirrorItem &item = plan.items.emplace_back();
        item.place = {0, int(track)};
        for (const MirrorRecord &record : plan.records) {
            if (record.mp3 == befores[track])
                item.before = &record;
        }
        item.steps = stepWords[track] == QLatin1String("again")     ? Steps {Step::EncodeAgain}
                   : stepWords[track] == QLatin1String("convert") ? Steps {Step::Convert}
                                                                  : Steps {};
    }
    BatchRequest request;
    if (gainApplied)
        request.settings.device.applyGain = DeviceSettings::Gain::Album;
    planAlbums(plan, request);
    QStringList names;
    for (const MirrorItem &item : plan.items)
        names << stepNames(item.steps);
    QCOMPARE(names.join(QLatin1Char('|')), planned);
}

QTEST_GUILESS_MAIN(TstMirrorPhases)
#include "tst_mirrorphases.moc"
