// sonovert-encode --mirror: a library's life, each change planned (--dry-run) and then made,
// the copy after each equal to what a fresh batch gives; its safety around what it cannot read,
// other runs and its sources.
#include "cuesheets.h"
#include "mirrortest.h"
#include "wavegen.h"
#include "wavetags.h"

#include <QDirIterator>
#include <QProcess>
#include <QtTest>

#include <sqlite3.h>

#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TstMirror : public MirrorTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void life_data();
    void life();
    void image();
    void elsewhere();
    void forgedRecord();
    void unreadable();
    void oneAtATime();
    void racy_data();
    void racy();
    void albumWithMp3();
    void cutShort();
    void fullDisk();
    void fullMidway();
    void readOnly();
    void emptyMountPoint();
    void linkOnMirror();
    void oldRecord();
    void checkedOnMirror();
    void apart_data();
    void apart();
};

void TstMirror::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_src = m_dir.filePath(QStringLiteral("src"));
    m_dst = m_dir.filePath(QStringLiteral("dst"));
    // XDG_DATA_HOME is not there yet, as on a fresh account: the trash makes it.
    QVERIFY(writeBytes(m_dir.filePath(QStringLiteral("no-trash")), "a file, not a folder"));
}

void TstMirror::life_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("plan"); // what --dry-run prints
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // on standard error

    const auto counts = [](int convert, int again, int retag, int move, int trash) {
        return QStringLiteral("%1 to convert, %2 to encode again, %3 to retag, %4 to move, %5 to trash\n")
            .arg(convert)
            .arg(again)
            .arg(retag)
            .arg(move)
            .arg(trash);
    };
    QTest::newRow("convert") << "library" << QStringList()
                             << "convert A/01.mp3\nconvert A/02.mp3\nconvert B/01.mp3\n" + counts(3, 0, 0, 0, 0) << 0
                             << QString();
    QTest::newRow("re-tag an album") << "retitle A" << QStringList()
                                     << "retag A/01.mp3\nretag A/02.mp3\n" + counts(0, 0, 2, 0, 0) << 0 << QString();
    QTest::newRow("re-rip a track") << "rerip A/02" << QStringList()
                                    << "retag A/01.mp3 (album figures)\nencode again A/02.mp3\n" + counts(0, 1, 1, 0, 0)
                                    << 0 << QString();
    QTest::newRow("rename a folder") << "rename A C" << QStringList()
                                     << "move A/01.mp3 -> C/01.mp3\nmove A/02.mp3 -> C/02.mp3\n" + counts(0, 0, 0, 2, 0)
                                     << 0 << QString();
    // Qt reports such a trash as done, the file moved into the working folder: it is put back.
    QTest::newRow("delete a track, no trash")
        << "delete B/01, no trash" << QStringList() << "trash B/01.mp3\n" + counts(0, 0, 0, 0, 1) << 1
        << QStringLiteral("B/01.mp3: cannot be moved to the trash; it stays");
    QTest::newRow("delete a track") << "delete B/01" << QStringList() << "trash B/01.mp3\n" + counts(0, 0, 0, 0, 1) << 0
                                    << QString();
    QTest::newRow("add a FLAC album with a cover")
        << "add F" << QStringList() << "convert F/01.mp3\nconvert F/02.mp3\n" + counts(2, 0, 0, 0, 0) << 0 << QString();
    // The MP3 is copied as it is; the Ogg is named and left.
    QTest::newRow("add an MP3 and an Ogg") << "add M" << QStringList() << "copy M/old.mp3\n" + counts(1, 0, 0, 0, 0) << 0
                                           << QStringLiteral("M/song.ogg: a lossy source");
    // Nothing of the sources changed but the picture beside them.
    QTest::newRow("new cover") << "recover F" << QStringList()
                               << "retag F/02.mp3\n" + counts(0, 0, 1, 0, 0) << 0 << QString();
    // A FLAC's audio is its samples: a title edited inside the file is a retag.
    QTest::newRow("retag a FLAC") << "retitle F/02" << QStringList() << "retag F/02.mp3\n" + counts(0, 0, 1, 0, 0) << 0
                                  << QString();
    // A source whose size and time are as recorded is not read: a title changed behind them is
    // not seen (the next row's encoding reads it).
    QTest::newRow("changed behind its size and time") << "retitle C/01 quietly" << QStringList()
                                                      << counts(0, 0, 0, 0, 0) << 0 << QString();
    QTest::newRow("bit rate") << "" << QStringList {"--bitrate=192"}
                              << "encode again C/01.mp3\nencode again C/02.mp3\nencode again F/01.mp3\n"
                                 "encode again F/02.mp3\n" +
                                     counts(0, 4, 0, 0, 0)
                              << 0 << QString();
    // Each MP3 there is converted again and compared before its record is written.
    const QString kept = QStringLiteral(" (kept as it is if the MP3 there is the same)\n");
    QTest::newRow("record lost") << "lose the record" << QStringList {"--bitrate=192"}
                                 << "convert C/01.mp3" + kept + "convert C/02.mp3" + kept + "convert F/01.mp3" + kept +
                                        "convert F/02.mp3" + kept + "copy M/old.mp3" + kept + counts(5, 0, 0, 0, 0)
                                 << 0 << QString();
    QTest::newRow("empty source") << "empty" << QStringList {"--bitrate=192"} << QString() << 1
                                  << QStringLiteral("holds no WAVE file: nothing is changed, nothing trashed");
    QTest::newRow("trash most") << "delete C, F, M, add D" << QStringList {"--bitrate=192"}
                                << "convert D/01.mp3\ntrash C/01.mp3\ntrash C/02.mp3\ntrash F/01.mp3\n"
                                   "trash F/02.mp3\ntrash M/old.mp3\n" +
                                       counts(1, 0, 0, 0, 5)
                                << 1 << QStringLiteral("5 of the mirror's 5 MP3s would go to the trash");
}

// Each row changes the library left by the one before.
void TstMirror::life()
{
    QFETCH(QString, change);
    QFETCH(QStringList, settings);
    QFETCH(QString, plan);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    const QString away = m_src + QStringLiteral(".away");
    const auto track = [this](const char *name) { return m_src + QLatin1Char('/') + QLatin1String(name) + ".wav"; };
    if (change == QLatin1String("library")) {
        QVERIFY(writeTrack(track("A/01"), 11, "One") && writeTrack(track("A/02"), 12, "Two") &&
                writeTrack(track("B/01"), 21, "Alone"));
    } else if (change == QLatin1String("retitle A")) {
        QVERIFY(writeTrack(track("A/01"), 11, "One again") && writeTrack(track("A/02"), 12, "Two again"));
    } else if (change == QLatin1String("rerip A/02")) {
        QVERIFY(writeTrack(track("A/02"), 13, "Two again", 2));
    } else if (change == QLatin1String("rename A C")) {
        QVERIFY(QDir().rename(m_src + "/A", m_src + "/C"));
    } else if (change.startsWith(QLatin1String("delete B/01"))) {
        QVERIFY(!QFileInfo::exists(track("B/01")) || QFile::remove(track("B/01")));
    } else if (change == QLatin1String("add F")) {
        QVERIFY(QDir().mkpath(m_src + QStringLiteral("/F")));
        for (const char *name : {"F/01.flac", "F/02.flac"})
            QVERIFY(writeWave(m_src + QLatin1Char('/') + QLatin1String(name),
                              {.frames = 66150, .container = Container::Flac, .seed = 41}));
        // The first with a picture of its own, which the folder's does not replace.
        QVERIFY(tagWithTagLib(m_src + "/F/01.flac", {"TITLE=First", "ALBUM=Flac"}, pngBytes(300, 'f')));
        QVERIFY(writeBytes(m_src + QStringLiteral("/F/cover.png"), pngBytes(600)));
    } else if (change == QLatin1String("add M")) {
        QVERIFY(QDir().mkpath(m_src + QStringLiteral("/M")) &&
                QFile::copy(m_dst + QStringLiteral("/C/01.mp3"), m_src + QStringLiteral("/M/old.mp3")) &&
                writeBytes(m_src + QStringLiteral("/M/song.ogg"), QByteArray("OggS", 4).repeated(100)));
    } else if (change == QLatin1String("recover F")) {
        QVERIFY(writeBytes(m_src + QStringLiteral("/F/cover.png"), pngBytes(700, 'q')));
    } else if (change == QLatin1String("retitle F/02")) {
        QVERIFY(tagWithTagLib(m_src + "/F/02.flac", {"TITLE=Second", "ALBUM=Flac"}));
    } else if (change == QLatin1String("retitle C/01 quietly")) {
        // A minute old, so the mirror trusts its time (it reads again what changed in the last
        // seconds); then rewritten with that time, to the nanosecond.
        const timespec old {std::time(nullptr) - 60, 0};
        QVERIFY(setTime(track("C/01"), old));
        QCOMPARE(encode({QStringLiteral("--mirror"), m_src, QStringLiteral("-o"), m_dst}).exitCode, 0);
        QVERIFY(writeTrack(track("C/01"), 11, "Ono again") && setTime(track("C/01"), old));
    } else if (change == QLatin1String("lose the record")) {
        QVERIFY(QFile::remove(m_dst + QStringLiteral("/.sonovert-mirror.sqlite")));
    } else if (change == QLatin1String("empty")) {
        QVERIFY(QDir().rename(m_src, away) && QDir().mkpath(m_src));
    } else if (change == QLatin1String("delete C, F, M, add D")) {
        QVERIFY(QDir(m_src + "/C").removeRecursively() && QDir(m_src + "/F").removeRecursively() &&
                QDir(m_src + "/M").removeRecursively() && writeTrack(track("D/01"), 31, "New"));
    }
    const QStringList args = QStringList {QStringLiteral("--mirror"), m_src, QStringLiteral("-o"), m_dst} + settings;
    const QMap<QString, QByteArray> before = tree(m_dst);
    const QString record = m_dst + QStringLiteral("/.sonovert-mirror.sqlite");
    const bool recorded = QFileInfo::exists(record);
    const Run dry = encode(args + QStringList {QStringLiteral("--dry-run")});
    QCOMPARE(dry.out, plan);
    QCOMPARE(tree(m_dst), before);
    QCOMPARE(QFileInfo::exists(record), recorded);
    const QByteArray audioBefore = before.value(QStringLiteral("A/01.mp3")).mid(1024);

    m_noTrash = change.endsWith(QLatin1String("no trash"));
    const Run run = encode(args);
    m_noTrash = false;
    QVERIFY2(run.exitCode == exitCode && run.err.contains(said), qPrintable(run.err));
    if (change == QLatin1String("empty"))
        QVERIFY(QDir(m_src).removeRecursively() && QDir().rename(away, m_src));
    if (exitCode != 0) {
        QCOMPARE(tree(m_dst), before);
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("files"))));
        return;
    }
    if (change.endsWith(QLatin1String("quietly"))) {
        QCOMPARE(tree(m_dst), before);
        return;
    }
    QCOMPARE(tree(m_dst), batchOf(m_src, settings));
    if (change == QLatin1String("retitle A")) {
        // Only the tags were written again: the frames after them are the same bytes.
        QVERIFY(tree(m_dst).value(QStringLiteral("A/01.mp3")).chopped(128).endsWith(audioBefore.chopped(128)));
    } else if (change == QLatin1String("rename A C")) {
        QVERIFY(!QFileInfo::exists(m_dst + QStringLiteral("/A")));
    } else if (change == QLatin1String("add F")) {
        QVERIFY(tree(m_dst).value(QStringLiteral("F/01.mp3")).contains(pngBytes(300, 'f')));
    } else if (change == QLatin1String("recover F")) {
        QVERIFY(tree(m_dst).value(QStringLiteral("F/02.mp3")).contains(pngBytes(700, 'q')));
    } else if (change == QLatin1String("delete B/01")) {
        QCOMPARE(contentOf(m_dir.filePath(QStringLiteral("xdg/Trash/files/01.mp3"))), before.value("B/01.mp3"));
        QVERIFY(contentOf(m_dir.filePath(QStringLiteral("xdg/Trash/info/01.mp3.trashinfo"))).contains("Path="));
        QVERIFY(!QFileInfo::exists(m_dst + QStringLiteral("/B")));
    }
}

// A CD image as it was is not read again, not even the audio before track 1 that tells whether
// there is a track 0: made silent behind the image's size and time, its track 0 stays.
void TstMirror::image()
{
    const QString src = m_dir.filePath(QStringLiteral("image-src"));
    const QString image = src + QStringLiteral("/disc.wav");
    const timespec old {std::time(nullptr) - 60, 0};
    QVERIFY(QDir().mkpath(src) && writeWave(image, {.frames = 10 * 44100}) && setTime(image, old) &&
            writeCueSheet(src + QStringLiteral("/disc.cue"), QStringLiteral("disc.wav"), CueEncoding::Utf8)
            && setTime(src + QStringLiteral("/disc.cue"), old));
    m_dst = m_dir.filePath(QStringLiteral("image-dst"));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    QCOMPARE(encode(args).exitCode, 0);
    const QStringList made = tree(m_dst).keys();
    QVERIFY2(made.size() == 4 && made.first().startsWith(QLatin1String("disc/00")), qPrintable(made.join(' ')));
    QVERIFY(writeWave(image, {.frames = 10 * 44100, .gain = 0}) && setTime(image, old));
    QCOMPARE(encode(args + QStringList {QStringLiteral("--dry-run")}).out,
             QStringLiteral("0 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash\n"));
}

// Converted on other machines: --list0 names each folder with work and where a mirror job of it
// writes; the next run here takes what the jobs made, encodes nothing, and gives a batch's tree.
// Then the same for a new bit rate, each MP3 encoded again elsewhere; then for one track re-ripped,
// its album's other track getting the figures measured elsewhere over the whole album; then for
// an album that lost a track after its job ran, measured here.
void TstMirror::elsewhere()
{
    const QString src = m_dir.filePath(QStringLiteral("elsewhere-src"));
    m_dst = m_dir.filePath(QStringLiteral("elsewhere-dst"));
    QVERIFY(writeTrack(src + "/A/01.wav", 51, "One") && writeTrack(src + "/A/02.wav", 52, "Two") &&
            writeTrack(src + "/B/01.wav", 61, "Alone"));
    // The last: A/02 deleted after the jobs ran, so A's job measured another album than A is now.
    const QStringList faster {QStringLiteral("--bitrate=192")};
    const QStringList slower {QStringLiteral("--bitrate=160")};
    for (const auto &[settings, taken] : {std::pair {QStringList(), 3}, {faster, 3}, {faster, 1}, {slower, 2}}) {
        if (taken == 1)
            QVERIFY(writeTrack(src + "/A/02.wav", 53, "Two", 2));
        const QStringList args = QStringList {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst} + settings;
        const QStringList jobs = encode(args + QStringList {QStringLiteral("--list0")}).out.split(QChar(0), Qt::SkipEmptyParts);
        QCOMPARE(jobs.size(), taken == 1 ? 2 : 4); // the folders with work, each with where its job writes
        for (qsizetype i = 0; i + 1 < jobs.size(); i += 2) {
            const QStringList job {QStringLiteral("--jobs=1"), QStringLiteral("--no-subfolders"), QStringLiteral("--mirror"),
                                   jobs[i], QStringLiteral("-o"), jobs[i + 1]};
            QCOMPARE(encode(job + settings).exitCode, 0);
        }
        if (taken == 2)
            QVERIFY(QFile::remove(src + "/A/02.wav"));
        QCOMPARE(encode(args + QStringList {QStringLiteral("--dry-run")}).out.count(QStringLiteral("(made by another machine)")),
                 taken);
        const Run run = encode(args);
        QVERIFY2(run.exitCode == 0 && run.err.contains(QStringLiteral("(%1 made by other machines)").arg(taken)),
                 qPrintable(run.err));
        QCOMPARE(tree(m_dst), batchOf(src, settings));
    }
}

// A record naming a file out of the mirror's folder (damaged, or written by someone else) is not
// the mirror's: its "source gone", the file stays where it is.
void TstMirror::forgedRecord()
{
    const QString src = m_dir.filePath(QStringLiteral("forged-src"));
    m_dst = m_dir.filePath(QStringLiteral("forged-dst"));
    const QString outside = m_dir.filePath(QStringLiteral("outside.mp3"));
    QVERIFY(writeTrack(src + "/A/01.wav", 71, "One") && writeBytes(outside, "not the mirror's"));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    QCOMPARE(encode(args).exitCode, 0);
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(m_dst + "/.sonovert-mirror.sqlite").constData(), &db), SQLITE_OK);
    const int forged = sqlite3_exec(db,
                                    "INSERT INTO mp3s (root, source, track, audio, mp3) "
                                    "VALUES (0, 'gone.wav', -1, x'01', '../outside.mp3')",
                                    nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(forged, SQLITE_OK);
    QCOMPARE(encode(args).exitCode, 0);
    QCOMPARE(contentOf(outside), QByteArray("not the mirror's"));
}

// A folder the run cannot enter is not gone: its MP3s stay, the run names it and exits 1. A new
// one, holding nothing the mirror made, is named and skipped (exit 0); so does a plain batch,
// which did not convert what it holds (exit 1). Run as root, the command is denied the
// capabilities that read any folder.
void TstMirror::unreadable()
{
    if (::geteuid() == 0) {
        QProcess probe;
        m_wrapper = QStringList {QStringLiteral("setpriv"), QStringLiteral("--bounding-set=-dac_override,-dac_read_search"),
                                 QStringLiteral("--")};
        probe.start(m_wrapper.first(), m_wrapper.mid(1) + QStringList {QStringLiteral("true")});
        if (!probe.waitForFinished() || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
            m_wrapper.clear();
            QSKIP("run as root, and setpriv cannot drop the capabilities that read any folder");
        }
    }
    const QString src = m_dir.filePath(QStringLiteral("unreadable-src"));
    m_dst = m_dir.filePath(QStringLiteral("unreadable-dst"));
    QVERIFY(writeTrack(src + "/A/01.wav", 81, "One") && writeTrack(src + "/B/01.wav", 91, "Two") &&
            writeTrack(src + "/B/02.wav", 92, "Three"));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    QCOMPARE(encode(args).exitCode, 0);
    const QMap<QString, QByteArray> before = tree(m_dst);
    const QString b = src + QStringLiteral("/B");
    QVERIFY(QFile::setPermissions(b, {}));
    const Run dry = encode(args + QStringList {QStringLiteral("--dry-run")});
    const Run kept = encode(args);
    const Run batch = encode({src, QStringLiteral("-o"), m_dir.filePath(QStringLiteral("unreadable-batch"))});
    QVERIFY(QFile::setPermissions(b, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(dry.out, QStringLiteral("0 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash\n"));
    QVERIFY2(kept.exitCode == 1 && kept.err.contains(b + QStringLiteral(" cannot be read (Permission denied): the 2 MP3s")),
             qPrintable(kept.err));
    QCOMPARE(tree(m_dst), before);
    QVERIFY2(batch.exitCode == 1 && batch.err.contains(b + QStringLiteral(" cannot be read")), qPrintable(batch.err));

    // A new folder that cannot be read holds nothing of the mirror's.
    const QString c = src + QStringLiteral("/C");
    QVERIFY(writeTrack(c + "/01.wav", 93, "Four") && QFile::setPermissions(c, {}));
    const Run skipped = encode(args);
    QVERIFY(QFile::setPermissions(c, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_wrapper.clear();
    QVERIFY2(skipped.exitCode == 0 && skipped.err.contains(c + QStringLiteral(" cannot be read (Permission denied): skipped")),
             qPrintable(skipped.err));
    QCOMPARE(tree(m_dst), before);
}

// A second run while one works says who holds the mirror and changes nothing; the first ends as
// a fresh batch would.
void TstMirror::oneAtATime()
{
    const QString src = m_dir.filePath(QStringLiteral("locked-src"));
    m_dst = m_dir.filePath(QStringLiteral("locked-dst"));
    for (quint32 seed = 1; seed <= 6; ++seed)
        QVERIFY(writeTrack(QStringLiteral("%1/%2/%3.wav").arg(src).arg(seed % 2).arg(seed), 100 + seed, "T", 4));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst, QStringLiteral("--jobs=1")};
    QProcess first;
    first.start(QStringLiteral(SONOVERT_ENCODE), args);
    QVERIFY(first.waitForStarted());
    const qint64 holder = first.processId();
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(m_dst + QStringLiteral("/.sonovert-mirror.lock")) && waited.elapsed() < 20000)
        QThread::msleep(5);
    const Run second = encode(args + QStringList {QStringLiteral("--bitrate=64")});
    QVERIFY(first.waitForFinished(120000));
    QCOMPARE(first.exitCode(), 0);
    QVERIFY2(second.exitCode == 1
                 && second.err.contains(QStringLiteral("another run holds the mirror (process %1 on ").arg(holder)),
             qPrintable(second.err));
    QCOMPARE(tree(m_dst), batchOf(src, {}));
}

void TstMirror::apart_data()
{
    QTest::addColumn<QString>("output"); // below the test's folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::newRow("inside the sources") << "apart-src/mp3" << 0 << QString();
    QTest::newRow("the sources themselves") << "apart-src" << 2 << "is a source";
    QTest::newRow("its parent not there") << "unplugged/stick" << 2 << "unplugged is not there";
}

// The mirror inside its sources is no source; the sources are no mirror; a disk not mounted is not
// filled in its place.
void TstMirror::apart()
{
    QFETCH(QString, output);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    const QString src = m_dir.filePath(QStringLiteral("apart-src"));
    m_dst = m_dir.filePath(output);
    if (!QFileInfo::exists(src))
        QVERIFY(writeTrack(src + "/A/01.wav", 111, "One") && writeTrack(src + "/A/02.wav", 112, "Two"));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    const Run run = encode(args);
    QVERIFY2(run.exitCode == exitCode && run.err.contains(said), qPrintable(run.err));
    if (exitCode != 0) {
        QCOMPARE(tree(m_dir.filePath(QStringLiteral("unplugged"))).size(), 0);
        return;
    }
    const QMap<QString, QByteArray> first = tree(m_dst);
    QCOMPARE(first.keys(), QStringList({"A/01.mp3", "A/02.mp3"}));
    QCOMPARE(encode(args).exitCode, 0);
    QCOMPARE(tree(m_dst), first);
    QVERIFY(QDir(m_dst).removeRecursively());
}

void TstMirror::racy_data()
{
    QTest::addColumn<QString>("rewritten"); // below the library, of the same size, its time put back
    QTest::addColumn<QString>("expected"); // the dry run's plan after it
    QTest::addRow("source") << QStringLiteral("A/01.wav")
                            << QStringLiteral("encode again A/01.mp3\n0 to convert, 1 to encode again, 0 to retag, "
                                              "0 to move, 0 to trash\n");
    QTest::addRow("folder's cover") << QStringLiteral("A/cover.jpg")
                                    << QStringLiteral("retag A/01.mp3\n0 to convert, 0 to encode again, 1 to retag, "
                                                      "0 to move, 0 to trash\n");
}

// A file recorded within its clock's tick, then rewritten with other bytes of the same size and
// its time put back, is read again: a source's audio, a folder's cover.
void TstMirror::racy()
{
    QFETCH(QString, rewritten);
    QFETCH(QString, expected);
    const QString src = m_dir.filePath(QStringLiteral("racy-src-") + QFileInfo(rewritten).suffix());
    m_dst = src + QStringLiteral("-dst");
    const QString track = src + QStringLiteral("/A/01.wav");
    const QString cover = src + QStringLiteral("/A/cover.jpg");
    const timespec now {std::time(nullptr) + 1, 0};
    const auto writeCover = [&cover](char fill) {
        QFile file(cover);
        return file.open(QIODevice::WriteOnly) && file.write("\xff\xd8\xff" + QByteArray(2000, fill)) == 2003;
    };
    QVERIFY(writeTrack(track, 121, "One") && writeCover('a'));
    QVERIFY(setTime(track, {now.tv_sec - 100, 0}) && setTime(cover, {now.tv_sec - 100, 0}));
    QVERIFY(setTime(src + QLatin1Char('/') + rewritten, now));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    QCOMPARE(encode(args).exitCode, 0);
    QVERIFY(rewritten.endsWith(QLatin1String(".wav")) ? writeTrack(track, 122, "One") : writeCover('b'));
    QVERIFY(setTime(src + QLatin1Char('/') + rewritten, now));
    QCOMPARE(encode(args + QStringList {QStringLiteral("--dry-run")}).out, expected);
    QCOMPARE(encode(args).exitCode, 0);
    QCOMPARE(tree(m_dst), batchOf(src, {}));
}

// An album whose folder holds an MP3 among its tracks (copied as it is, no track of it) is left
// alone by a run with nothing changed.
void TstMirror::albumWithMp3()
{
    const QString src = m_dir.filePath(QStringLiteral("withmp3-src"));
    m_dst = m_dir.filePath(QStringLiteral("withmp3-dst"));
    QVERIFY(writeTrack(src + "/A/01.wav", 151, "One") && writeTrack(src + "/A/02.wav", 152, "Two"));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    QCOMPARE(encode(args).exitCode, 0);
    QVERIFY(QFile::copy(m_dst + QStringLiteral("/A/01.mp3"), src + QStringLiteral("/A/03.mp3")));
    QCOMPARE(encode(args).exitCode, 0);
    const QMap<QString, QByteArray> made = tree(m_dst);
    QCOMPARE(encode(args + QStringList {QStringLiteral("--dry-run")}).out,
             QStringLiteral("0 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash\n"));
    QCOMPARE(tree(m_dst), made);
    QCOMPARE(made, batchOf(src, {}));
}

// The mirror's encodes speak as the batch's: a WAVE still being copied (its header announcing more
// than the file holds) is converted as far as it goes, with the batch's warning.
void TstMirror::cutShort()
{
    const QString src = m_dir.filePath(QStringLiteral("short-src"));
    m_dst = m_dir.filePath(QStringLiteral("short-dst"));
    const QString track = src + QStringLiteral("/A/01.wav");
    QVERIFY(writeTrack(track, 161, "One", 3) && QFile::resize(track, QFileInfo(track).size() / 2));
    const Run run = encode({QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst});
    QVERIFY2(run.exitCode == 0 && run.err.contains(QStringLiteral("warning: ") + track + QStringLiteral(": The input's header announces")),
             qPrintable(run.err));
}

// A run that would not fit on the mirror's disk says how much is missing and writes nothing; given
// room, the next gives the fresh batch's bytes; --gone=delete deletes what is gone.
void TstMirror::fullDisk()
{
    const QString disk = m_dir.filePath(QStringLiteral("small-disk"));
    QVERIFY(QDir().mkpath(disk));
    if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=300k", "tmpfs", disk}) != 0)
        QSKIP("a small tmpfs cannot be mounted here (mounting needs root)");
    const auto unmount = qScopeGuard([&disk] { QProcess::execute(QStringLiteral("umount"), {disk}); });
    const QString src = m_dir.filePath(QStringLiteral("full-src"));
    m_dst = disk + QStringLiteral("/mp3");
    for (quint32 seed = 1; seed <= 6; ++seed)
        QVERIFY(writeTrack(QStringLiteral("%1/%2/%3.wav").arg(src, seed <= 3 ? "A" : "B").arg(seed), 170 + seed, "T", 3));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    const Run refused = encode(args);
    QVERIFY2(refused.exitCode == 1 && refused.err.contains(QStringLiteral("missing): nothing is changed")),
             qPrintable(refused.err));
    QCOMPARE(tree(m_dst).size(), 0);
    QCOMPARE(QProcess::execute(QStringLiteral("mount"), {"-o", "remount,size=4m", disk}), 0);
    QCOMPARE(encode(args).exitCode, 0);
    QCOMPARE(tree(m_dst), batchOf(src, {}));

    QVERIFY(QDir(src + QStringLiteral("/B")).removeRecursively());
    const Run deleted = encode(args + QStringList {QStringLiteral("--gone=delete")});
    QVERIFY2(deleted.exitCode == 0 && deleted.err.contains(QStringLiteral("trashed 0, deleted 3")), qPrintable(deleted.err));
    QCOMPARE(tree(m_dst), batchOf(src, {}));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("xdg/Trash/files/4.mp3"))));
}

// A run that meets a full disk though the estimate let it start (its covers take the room) leaves
// each album whole or not there, its record in step; given room, the next run completes.
void TstMirror::fullMidway()
{
    const QString disk = m_dir.filePath(QStringLiteral("midway-disk"));
    QVERIFY(QDir().mkpath(disk));
    if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=2m", "tmpfs", disk}) != 0)
        QSKIP("a small tmpfs cannot be mounted here (mounting needs root)");
    const auto unmount = qScopeGuard([&disk] { QProcess::execute(QStringLiteral("umount"), {disk}); });
    const QString src = m_dir.filePath(QStringLiteral("midway-src"));
    m_dst = disk + QStringLiteral("/mp3");
    const QStringList albums {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    for (const QString &album : albums) {
        QFile cover(QStringLiteral("%1/%2/cover.jpg").arg(src, album));
        for (quint32 track = 1; track <= 3; ++track)
            QVERIFY(writeTrack(QStringLiteral("%1/%2/%3.wav").arg(src, album).arg(track), 180 + track, "T", 1));
        QVERIFY(cover.open(QIODevice::WriteOnly) && cover.write("\xff\xd8\xff" + QByteArray(400'000, album[0].toLatin1())));
    }
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst, QStringLiteral("--jobs=2")};
    const Run full = encode(args);
    QVERIFY2(full.exitCode == 1 && full.err.contains(QStringLiteral("No space left")), qPrintable(full.err));
    const QMap<QString, QByteArray> there = tree(m_dst);
    QString missing;
    for (const QString &album : albums) {
        const auto made = std::count_if(there.keyBegin(), there.keyEnd(),
                                        [&album](const QString &path) { return path.startsWith(album + '/'); });
        QVERIFY2(made == 0 || made == 3, qPrintable(album));
        for (int track = 1; track <= 3 && made == 0; ++track)
            missing += QStringLiteral("convert %1/%2.mp3\n").arg(album).arg(track);
    }
    QVERIFY(!missing.isEmpty());
    // In step: what the record holds is what is there, and only what is missing is to be made.
    QVERIFY(encode(args + QStringList {QStringLiteral("--dry-run")}).out.startsWith(missing));
    QCOMPARE(QProcess::execute(QStringLiteral("mount"), {"-o", "remount,size=16m", disk}), 0);
    QCOMPARE(encode(args).exitCode, 0);
    QCOMPARE(tree(m_dst), batchOf(src, {}));
}

// On a disk mounted read-only a dry run reads the record as it is; a run says the disk is
// read-only and changes nothing.
void TstMirror::readOnly()
{
    const QString disk = m_dir.filePath(QStringLiteral("ro-disk"));
    QVERIFY(QDir().mkpath(disk));
    if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=8m", "tmpfs", disk}) != 0)
        QSKIP("a tmpfs cannot be mounted here (mounting needs root)");
    const auto unmount = qScopeGuard([&disk] { QProcess::execute(QStringLiteral("umount"), {disk}); });
    const QString src = m_dir.filePath(QStringLiteral("ro-src"));
    m_dst = disk + QStringLiteral("/mp3");
    QVERIFY(writeTrack(src + QStringLiteral("/A/01.wav"), 191, "One"));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    QCOMPARE(encode(args).exitCode, 0);
    const QMap<QString, QByteArray> made = tree(m_dst);
    QCOMPARE(QProcess::execute(QStringLiteral("mount"), {"-o", "remount,ro", disk}), 0);
    QVERIFY(writeTrack(src + QStringLiteral("/B/02.wav"), 192, "Two"));
    const Run dry = encode(args + QStringList {QStringLiteral("--dry-run")});
    QVERIFY2(dry.exitCode == 0, qPrintable(dry.err));
    QCOMPARE(dry.out, QStringLiteral("convert B/02.mp3\n1 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash\n"));
    const Run refused = encode(args);
    QVERIFY2(refused.exitCode == 1 && refused.err.contains(QStringLiteral("read-only: nothing is changed")),
             qPrintable(refused.err));
    QCOMPARE(tree(m_dst), made);
}

// A source folder that is an empty mount point (its disk not there) takes nothing away: the MP3s
// of what was below it stay, the place named, exit 1.
void TstMirror::emptyMountPoint()
{
    const QString src = m_dir.filePath(QStringLiteral("mountpoint-src"));
    m_dst = m_dir.filePath(QStringLiteral("mountpoint-dst"));
    const QString share = src + QStringLiteral("/share");
    QVERIFY(writeTrack(share + QStringLiteral("/A/01.wav"), 201, "One") && writeTrack(src + QStringLiteral("/B/02.wav"), 202, "Two"));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    QCOMPARE(encode(args).exitCode, 0);
    const QMap<QString, QByteArray> made = tree(m_dst);
    QVERIFY(QDir().rename(share + QStringLiteral("/A"), m_dir.filePath(QStringLiteral("mountpoint-A"))));
    if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=1m", "tmpfs", share}) != 0)
        QSKIP("a tmpfs cannot be mounted here (mounting needs root)");
    const auto unmount = qScopeGuard([&share] { QProcess::execute(QStringLiteral("umount"), {share}); });
    const Run run = encode(args);
    QVERIFY2(run.exitCode == 1 && run.err.contains(share + QStringLiteral(" cannot be read (an empty mount point")),
             qPrintable(run.err));
    QCOMPARE(tree(m_dst), made);
}

// An album folder on the mirror made a link, a link back up inside: nothing to do, and an end.
void TstMirror::linkOnMirror()
{
    const QString src = m_dir.filePath(QStringLiteral("link-src"));
    m_dst = m_dir.filePath(QStringLiteral("link-dst"));
    QVERIFY(writeTrack(src + QStringLiteral("/A/01.wav"), 211, "One"));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    QCOMPARE(encode(args).exitCode, 0);
    QVERIFY(QDir().rename(m_dst + QStringLiteral("/A"), m_dst + QStringLiteral("/A.real"))
            && QFile::link("A.real", m_dst + QStringLiteral("/A")) && QFile::link("..", m_dst + QStringLiteral("/A.real/up")));
    const Run run = encode(args);
    QVERIFY2(run.exitCode == 0 && run.err.contains(QStringLiteral("converted 0, encoded again 0, retagged 0, moved 0, trashed 0")),
             qPrintable(run.err));
}

// A record of an earlier release, without the stamp and the MP3s' digests, is upgraded in place:
// the first run after it encodes nothing, and fills them in.
void TstMirror::oldRecord()
{
    const QString src = m_dir.filePath(QStringLiteral("old-src"));
    m_dst = m_dir.filePath(QStringLiteral("old-dst"));
    QVERIFY(writeTrack(src + "/A/01.wav", 141, "One") && setTime(src + "/A/01.wav", {std::time(nullptr) - 60, 0}));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    QCOMPARE(encode(args).exitCode, 0);
    const QMap<QString, QByteArray> made = tree(m_dst);
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(m_dst + "/.sonovert-mirror.sqlite").constData(), &db), SQLITE_OK);
    const int dropped = sqlite3_exec(db, "ALTER TABLE mp3s DROP COLUMN mp3digest; ALTER TABLE mp3s DROP COLUMN stamp",
                                     nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(dropped, SQLITE_OK);
    const Run upgraded = encode(args);
    QVERIFY2(upgraded.exitCode == 0 && upgraded.err.contains(QStringLiteral("converted 0, encoded again 0, retagged 0")),
             qPrintable(upgraded.err));
    QCOMPARE(tree(m_dst), made);
    QCOMPARE(encode(args + QStringList {QStringLiteral("--dry-run")}).out,
             QStringLiteral("0 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash\n"));
}

// An MP3 on the mirror cut short or replaced is made again, and the run says why; a copy of the
// mirror, its times all new, encodes nothing.
void TstMirror::checkedOnMirror()
{
    const QString src = m_dir.filePath(QStringLiteral("checked-src"));
    m_dst = m_dir.filePath(QStringLiteral("checked-dst"));
    QVERIFY(writeTrack(src + "/A/01.wav", 131, "One") && writeTrack(src + "/A/02.wav", 132, "Two"));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst};
    QCOMPARE(encode(args).exitCode, 0);
    const QMap<QString, QByteArray> made = tree(m_dst);
    QVERIFY(QFile::resize(m_dst + QStringLiteral("/A/01.mp3"), 3000));
    QByteArray other = made.value(QStringLiteral("A/02.mp3"));
    other[other.size() / 2] = char(other[other.size() / 2] ^ 0x55);
    QVERIFY(writeBytes(m_dst + QStringLiteral("/A/02.mp3"), other) && setTime(m_dst + "/A/02.mp3", {std::time(nullptr) - 30, 0}));
    const Run mended = encode(args);
    QVERIFY2(mended.exitCode == 0 && mended.err.contains(QStringLiteral("A/01.mp3: not the MP3 recorded (its size)"))
                 && mended.err.contains(QStringLiteral("A/02.mp3: not the MP3 recorded (its bytes)")),
             qPrintable(mended.err));
    QCOMPARE(tree(m_dst), made);

    const QString copy = m_dir.filePath(QStringLiteral("checked-copy"));
    QVERIFY(QDir().mkpath(copy + QStringLiteral("/A")));
    for (const QString &name : {QStringLiteral(".sonovert-mirror.sqlite"), QStringLiteral("A/01.mp3"), QStringLiteral("A/02.mp3")}) {
        QVERIFY(QFile::copy(m_dst + QLatin1Char('/') + name, copy + QLatin1Char('/') + name));
        QVERIFY(setTime(copy + QLatin1Char('/') + name, {std::time(nullptr) - 7200, 0}));
    }
    const QStringList toCopy {QStringLiteral("--mirror"), src, QStringLiteral("-o"), copy};
    QCOMPARE(encode(toCopy + QStringList {QStringLiteral("--dry-run")}).out,
             QStringLiteral("0 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash\n"));
    const Run copied = encode(toCopy);
    QVERIFY2(copied.exitCode == 0 && copied.err.contains(QStringLiteral("converted 0, encoded again 0, retagged 0")),
             qPrintable(copied.err));
    QCOMPARE(tree(copy), made);
}

QTEST_GUILESS_MAIN(TstMirror)
#include "tst_mirror.moc"
