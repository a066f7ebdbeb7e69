// The mirror's decisions in-process: for each rule, what was recorded, what is there now, and
// the steps written out.
#include "cli/mirrordecisions.h"

#include <QtTest>

namespace {

// "size mtime audio tags settings stamp mp3 [mp3digest]", "-" for an empty digest.
MirrorRecord recordOf(const QString &text)
{
    const QStringList f = text.split(QLatin1Char(' '));
    const auto digest = [](const QString &field) { return field == QLatin1String("-") ? QByteArray() : field.toUtf8(); };
    MirrorRecord record;
    record.size = f.value(0).toLongLong();
    record.mtimeNs = f.value(1).toLongLong();
    record.audio = digest(f.value(2));
    record.tags = digest(f.value(3));
    record.settings = digest(f.value(4));
    record.stamp = digest(f.value(5));
    record.mp3 = f.value(6);
    record.mp3Digest = digest(f.value(7, QStringLiteral("-")));
    return record;
}

// As recordOf, the audio "now/earlier kind" where a record of an earlier release asks for both, the
// MP3's digest as read now; then how the recorded MP3 is on the mirror: "as
// recorded", "time" alone changed, or "size" changed.
SourceNow nowOf(const QString &text, const QString &onMirror = QStringLiteral("as recorded"))
{
    const MirrorRecord r = recordOf(text);
    const QList<QByteArray> audio = r.audio.split('/');
    SourceNow now {{r.size, r.mtimeNs}, audio.value(0), audio.value(1), r.settings, r.tags, r.stamp,
                   r.mp3, Mp3There::AsRecorded, r.mp3Digest};
    if (onMirror == QLatin1String("time"))
        now.onMirror = Mp3There::TimeOnly;
    else if (onMirror == QLatin1String("size"))
        now.onMirror = Mp3There::Changed;
    return now;
}

} // namespace

class TstMirrorPlan : public QObject
{
    Q_OBJECT

private slots:
    void withRecord_data();
    void withRecord();
    void withoutRecord_data();
    void withoutRecord();
    void mp3There_data();
    void mp3There();
    void gone_data();
    void gone();
    void album_data();
    void album();
    void counts();
};

void TstMirrorPlan::withRecord_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("onMirror");
    QTest::addColumn<QString>("steps");
    const QString recorded = QStringLiteral("10 5 a t s st A/01.mp3 d");
    QTest::newRow("as recorded") << recorded << recorded << "as recorded" << "keep";
    QTest::newRow("time alone changed") << recorded << "10 6 a t s st A/01.mp3" << "as recorded" << "refresh";
    QTest::newRow("re-ripped") << recorded << "12 6 b t s st A/01.mp3" << "as recorded" << "encode again+refresh";
    QTest::newRow("re-ripped, same size and time read again") << recorded << "10 5 b t s st A/01.mp3" << "as recorded" << "encode again";
    QTest::newRow("retagged") << recorded << "10 6 a u s st2 A/01.mp3" << "as recorded" << "retag+refresh";
    QTest::newRow("new cover beside it") << recorded << "10 5 a u s st2 A/01.mp3" << "as recorded" << "retag+refresh";
    QTest::newRow("new bit rate") << recorded << "10 5 a t s2 st A/01.mp3" << "as recorded" << "encode again";
    QTest::newRow("renamed by its tags") << recorded << "10 6 a u s st2 B/01.mp3" << "as recorded" << "retag+move+refresh";
    QTest::newRow("new bit rate, renamed") << recorded << "10 5 a t s2 st2 B/01.mp3" << "as recorded" << "encode again+move+refresh";
    // Changed too recently for its time to be trusted: no stamp, so the record is written again.
    QTest::newRow("racy") << recorded << "10 5 a t s - A/01.mp3 d" << "as recorded" << "refresh";
    // Recorded so (its time smudged), it is read again: as it was, or rewritten behind its size.
    QTest::newRow("recorded racy, as it was") << "10 0 a t s - A/01.mp3 d" << recorded << "as recorded" << "refresh";
    QTest::newRow("recorded racy, rewritten") << "10 0 a t s - A/01.mp3 d" << "10 5 b t s st A/01.mp3 d"
                                              << "as recorded" << "encode again+refresh";
    // A FLAC's digest is of its samples: a tag edit is a retag. An earlier release's digest of its
    // bytes is compared with that kind, never taken for new audio.
    QTest::newRow("FLAC retagged") << "10 5 Sa t s st F/01.mp3 d" << "12 6 Sa u s st2 F/01.mp3 d"
                                   << "as recorded" << "retag+refresh";
    QTest::newRow("FLAC retagged and renamed") << "10 5 Sa t s st F/01.mp3 d" << "12 6 Sa u s st2 G/01.mp3 d"
                                               << "as recorded" << "retag+move+refresh";
    QTest::newRow("old record upgraded") << "10 5 bytes t s st F/01.mp3 d" << "10 6 Sa/bytes t s st F/01.mp3 d"
                                         << "as recorded" << "refresh";
    QTest::newRow("old record, re-ripped") << "10 5 bytes t s st F/01.mp3 d" << "10 6 Sb/bytes2 t s st F/01.mp3 d"
                                           << "as recorded" << "encode again+refresh";
    // The MP3 on the mirror against the record; its digest read only where its time alone changed.
    QTest::newRow("MP3 truncated on the mirror") << recorded << recorded << "size" << "encode again";
    QTest::newRow("MP3 truncated, source retagged") << recorded << "10 5 a u s st2 A/01.mp3" << "size"
                                                    << "encode again+refresh";
    QTest::newRow("mirror copied, new times") << recorded << "10 5 a t s st A/01.mp3 d" << "time" << "refresh";
    QTest::newRow("MP3 replaced behind its size") << recorded << "10 5 a t s st A/01.mp3 e" << "time"
                                                  << "encode again";
    QTest::newRow("time alone, record of an earlier release") << "10 5 a t s st A/01.mp3"
                                                              << "10 5 a t s st A/01.mp3 d" << "time"
                                                              << "encode again";
}

void TstMirrorPlan::withRecord()
{
    QFETCH(QString, before);
    QFETCH(QString, now);
    QFETCH(QString, onMirror);
    QFETCH(QString, steps);
    QCOMPARE(stepNames(stepFor(recordOf(before), nowOf(now, onMirror))), steps);
}

void TstMirrorPlan::withoutRecord_data()
{
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("sameAudio"); // a record of a source gone with its audio
    QTest::addColumn<QString>("atPath"); // a record of a source gone whose MP3 is at its path
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<QString>("steps");
    const QString now = QStringLiteral("10 5 a t s st C/01.mp3");
    QTest::newRow("new") << now << "" << "" << false << "convert";
    QTest::newRow("an MP3 there, no record") << now << "" << "" << true << "adopt";
    QTest::newRow("moved") << now << "10 5 a t s st A/01.mp3" << "" << false << "move";
    QTest::newRow("moved and retagged") << now << "10 5 a u s st A/01.mp3" << "" << false << "retag+move";
    QTest::newRow("case-only rename") << "10 5 a t s st DEMOS/01.mp3" << "10 5 a t s st Demos/01.mp3" << ""
                                      << false << "move";
    QTest::newRow("moved into a gone source's place") << now << "10 5 a t s st C/01.mp3" << "" << false << "refresh";
    QTest::newRow("re-ripped in a gone source's place") << "12 5 b t s st C/01.mp3" << ""
                                                        << "10 5 a t s st C/01.mp3" << true << "encode again";
    QTest::newRow("unreadable audio is no move") << "10 5 - t s st C/01.mp3" << "10 5 - t s st A/01.mp3" << ""
                                                 << false << "convert";
}

void TstMirrorPlan::withoutRecord()
{
    QFETCH(QString, now);
    QFETCH(QString, sameAudio);
    QFETCH(QString, atPath);
    QFETCH(bool, fileThere);
    QFETCH(QString, steps);
    const MirrorRecord same = recordOf(sameAudio);
    const MirrorRecord at = recordOf(atPath);
    QCOMPARE(stepNames(stepForNew(nowOf(now), sameAudio.isEmpty() ? nullptr : &same, atPath.isEmpty() ? nullptr : &at,
                                  fileThere)),
             steps);
}

void TstMirrorPlan::mp3There_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("mtimeNs");
    QTest::addColumn<qint64>("granularityNs");
    QTest::addColumn<int>("there");
    const qint64 s = 1'000'000'000;
    const int as = int(Mp3There::AsRecorded);
    const int time = int(Mp3There::TimeOnly);
    QTest::newRow("as recorded") << qint64(100) << 10 * s << qint64(1) << as;
    QTest::newRow("cut short") << qint64(90) << 10 * s << qint64(1) << int(Mp3There::Changed);
    QTest::newRow("FAT's 2 s") << qint64(100) << 11 * s << 2 * s << as;
    QTest::newRow("a second on ext4") << qint64(100) << 11 * s << qint64(1) << time;
    QTest::newRow("FAT across a daylight-saving change") << qint64(100) << 3610 * s << 2 * s << time;
}

void TstMirrorPlan::mp3There()
{
    QFETCH(qint64, size);
    QFETCH(qint64, mtimeNs);
    QFETCH(qint64, granularityNs);
    QFETCH(int, there);
    MirrorRecord before;
    before.mp3Size = 100;
    before.mp3MtimeNs = 10'000'000'000;
    QCOMPARE(int(::mp3There(before, {size, mtimeNs}, granularityNs)), there);
}

void TstMirrorPlan::gone_data()
{
    QTest::addColumn<int>("absence");
    QTest::addColumn<bool>("deleting"); // --gone=delete
    QTest::addColumn<QString>("steps");
    QTest::newRow("gone") << int(Absence::Gone) << false << "trash";
    QTest::newRow("gone, --gone=delete") << int(Absence::Gone) << true << "delete";
    QTest::newRow("below an unreadable folder") << int(Absence::BelowUnreadable) << true << "stay";
    QTest::newRow("there, not listed") << int(Absence::StillThere) << true << "stay";
    QTest::newRow("its sheet refused") << int(Absence::SheetRefused) << false << "keep";
}

void TstMirrorPlan::gone()
{
    QFETCH(int, absence);
    QFETCH(bool, deleting);
    QFETCH(QString, steps);
    QCOMPARE(stepNames(stepForGone(Absence(absence), deleting)), steps);
}

void TstMirrorPlan::album_data()
{
    QTest::addColumn<QStringList>("tracks"); // steps:folder before ("" for none)
    QTest::addColumn<int>("recordedInA");
    QTest::addColumn<bool>("changed");
    QTest::newRow("as it was") << QStringList {"keep:A", "keep:A"} << 2 << false;
    QTest::newRow("a track retagged") << QStringList {"retag:A", "keep:A"} << 2 << false;
    QTest::newRow("moved whole") << QStringList {"move:A", "move:A"} << 2 << false;
    QTest::newRow("a track re-ripped") << QStringList {"encode:A", "keep:A"} << 2 << true;
    QTest::newRow("a track added") << QStringList {"convert:", "keep:A"} << 1 << true;
    QTest::newRow("a track deleted") << QStringList {"keep:A"} << 2 << true;
    QTest::newRow("a track from another album") << QStringList {"move:B", "keep:A"} << 1 << true;
}

void TstMirrorPlan::album()
{
    QFETCH(QStringList, tracks);
    QFETCH(int, recordedInA);
    QFETCH(bool, changed);
    std::vector<AlbumTrack> album;
    for (const QString &track : tracks) {
        const QString steps = track.section(QLatin1Char(':'), 0, 0);
        const QString folder = track.section(QLatin1Char(':'), 1);
        AlbumTrack made;
        if (steps == QLatin1String("retag"))
            made.steps = {Step::Retag};
        else if (steps == QLatin1String("move"))
            made.steps = {Step::Move};
        else if (steps == QLatin1String("encode"))
            made.steps = {Step::EncodeAgain};
        else if (steps == QLatin1String("convert"))
            made.steps = {Step::Convert};
        if (!folder.isEmpty())
            made.folderBefore = folder;
        album.push_back(made);
    }
    QCOMPARE(albumChanged(album, {{QStringLiteral("A"), recordedInA}, {QStringLiteral("B"), 3}}), changed);
}

// An adoption counts as a conversion; a retag with new album figures as one retag.
void TstMirrorPlan::counts()
{
    StepCounts counts;
    counts.count(Steps {Step::Adopt});
    counts.count(Steps {Step::Convert});
    counts.count(Steps {Step::Retag, Step::AlbumRetag, Step::Refresh});
    counts.count(Steps {Step::Move, Step::AlbumRetag});
    counts.count(Steps {Step::Stay});
    QCOMPARE(counts[Step::Convert], 2);
    QCOMPARE(counts[Step::Retag], 2);
    QCOMPARE(counts[Step::Move], 1);
    QCOMPARE(counts[Step::Trash], 0);
}

QTEST_GUILESS_MAIN(TstMirrorPlan)
#include "tst_mirrorplan.moc"
