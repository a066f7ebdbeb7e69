// sonovert-encode --mirror onto a USB stick's file systems as a desktop mounts them: FAT32 through
// fusefat, exFAT through exfat-fuse.
#include "mirrortest.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <sqlite3.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The tree's MP3s by path in lower case (a stick keeps one name of each case), each with its own
// name (a folder's is the first one made) and bytes.
QMap<QString, QByteArray> mp3s(const QMap<QString, QByteArray> &tree)
{
    QMap<QString, QByteArray> files;
    for (const auto &[path, bytes] : tree.asKeyValueRange())
        if (path.endsWith(QLatin1String(".mp3")))
            files.insert(path.toLower(), path.section(QLatin1Char('/'), -1).toUtf8() + '\0' + bytes);
    return files;
}

// Every entry below dir in the order its folders list them on disk, the mirror's own left out.
QStringList diskOrder(const QString &dir, const QString &below = QString())
{
    QStringList entries;
    DIR *folder = ::opendir(QFile::encodeName(dir + below).constData());
    while (const dirent *entry = folder ? ::readdir(folder) : nullptr) {
        if (entry->d_name[0] != '.')
            entries << below + QFile::decodeName(entry->d_name);
        if (entry->d_name[0] != '.' && entry->d_type == DT_DIR)
            entries << diskOrder(dir, entries.last() + QLatin1Char('/'));
    }
    return folder && ::closedir(folder) == 0 ? entries : QStringList {QStringLiteral("cannot be read: ") + below};
}

// A CD image's sheet of two tracks, its album and its tracks' titles filled in.
QByteArray sheetOf(const char *album, const char *first, const char *second)
{
    return QStringLiteral("TITLE \"%1\"\nFILE \"image.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"%2\"\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    TITLE \"%3\"\n    INDEX 01 00:05:00\n")
        .arg(QLatin1String(album), QLatin1String(first), QLatin1String(second))
        .toUtf8();
}

// The MP3 paths a run's or a dry run's lines name, in lower case as the tree's keys are.
QStringList namedIn(const QString &out)
{
    static const QRegularExpression listed(QStringLiteral("^(?:convert|encode again|retag|move .* ->|trash) (.*?\\.mp3)"),
                                           QRegularExpression::MultilineOption);
    QStringList named;
    for (const QRegularExpressionMatch &match : listed.globalMatch(out))
        named << match.captured(1).toLower();
    named.sort();
    return named;
}

} // namespace

class TstMirrorStick : public MirrorTest
{
    Q_OBJECT

private slots:
    void onStick_data();
    void onStick();
    void recordGrows_data();
    void recordGrows();
};

void TstMirrorStick::onStick_data()
{
    QTest::addColumn<QString>("fileSystem");
    // WAVEs below SRC (image.wav with its sheet: a CD image of two tracks), each titled by its
    // name; the first three are retagged, renamed in letter case (to renamed) and deleted, in turn.
    QTest::addColumn<QStringList>("library");
    QTest::addColumn<QString>("renamed");
    QTest::addColumn<QByteArray>("sheet");
    QTest::addColumn<int>("sources"); // MP3s of a first run
    QTest::addColumn<QStringList>("order"); // a fresh copy's entries, as its folders list them on disk
    const QStringList albums {"Cold/2 Two.wav", "Band/Take.wav", "Alpha/3 C.wav", "Alpha/1 A.wav", "Alpha/2 B.wav",
                              "Cold/1 One.wav", "BAND/Demo.wav", "Disc/image.wav"};
    const QStringList order {"Alpha", "Alpha/1 A.mp3", "Alpha/2 B.mp3", "Alpha/3 C.mp3", "BAND", "BAND/Demo.mp3",
                             "Band (2)", "Band (2)/Take.mp3", "Cold", "Cold/1 One.mp3", "Cold/2 Two.mp3", "Disc", "Disc/image",
                             "Disc/image/01 Opening.mp3", "Disc/image/02 Closing.mp3"};
    // Names FAT and exFAT refuse, case twins, a title of 300 characters (long.wav's) for --name;
    // letters beyond ASCII on exFAT alone (fusefat takes none).
    const QStringList awkward {"Colon: Live/Take *1*.wav", "Band?/Take.wav", "Dots.../3 C?.wav", "Dots.../1 A .wav",
                               "Dots.../2 B|.wav", "band?/Demo.wav", "Twins/Live.wav", "Twins/live.wav",
                               "Ends in a space /x\"y<z>.wav", "Long/long.wav", "Disc?/image.wav"};
    for (const char *fileSystem : {"fat", "exfat"}) {
        QTest::addRow("%s: three albums, twin folders, a CD image", fileSystem)
            << fileSystem << albums << "Band/TAKE.wav" << sheetOf("Disc", "Opening", "Closing") << 9 << order;
        const bool exfat = fileSystem == QLatin1String("exfat");
        QStringList library = awkward;
        if (exfat)
            library << QStringLiteral("Beyonc\u00e9/\u03a9.wav");
        QTest::addRow("%s: awkward names", fileSystem) << fileSystem << library << "Band?/TAKE.wav"
                                                       << sheetOf("Really?", "Who?", "Why: Not*") << (exfat ? 13 : 12)
                                                       << QStringList();
    }
}

// After a first run, a retag, a rename in letter case alone and a deletion: the dry run named what
// the run changed, each source has one MP3 (those of the first run the batch's), and a run with
// nothing changed writes nothing. A fresh copy's entries are in name order on the disk.
void TstMirrorStick::onStick()
{
    QFETCH(QString, fileSystem);
    QFETCH(QStringList, library);
    QFETCH(QString, renamed);
    QFETCH(QByteArray, sheet);
    QFETCH(int, sources);
    QFETCH(QStringList, order);
    if (::geteuid() != 0)
        QSKIP("mounting a file system image needs root");
    m_image = m_dir.filePath(fileSystem + QStringLiteral(".img"));
    m_stick = m_dir.filePath(fileSystem + QStringLiteral("-stick"));
    const auto unmount = qScopeGuard([this] { unmountStick(); });
    if (const QString why = mountStick(fileSystem); !why.isEmpty())
        QSKIP(qPrintable(why));
    const QString src = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral("/src/"));
    for (int i = 0; i < library.size(); ++i) {
        const bool image = library[i].endsWith(QLatin1String("image.wav"));
        const bool longTitle = library[i].endsWith(QLatin1String("long.wav"));
        const QByteArray title = longTitle ? QByteArray(300, 'L') : QFileInfo(library[i]).completeBaseName().toUtf8();
        QVERIFY(writeTrack(src + library[i], quint32(i + 1), title, image ? 8 : 1));
        if (image) {
            QFile cue(src + QFileInfo(library[i]).path() + QStringLiteral("/image.cue"));
            QVERIFY(cue.open(QIODevice::WriteOnly) && cue.write(sheet) > 0);
        }
    }
    m_dst = m_stick + QStringLiteral("/mp3");
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst, QStringLiteral("--jobs=2")};
    const QString nothing = QStringLiteral("0 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash");
    const struct
    {
        std::function<bool()> change;
        QString plan; // the dry run's counts
    } steps[] = {
        {[] { return true; }, QStringLiteral("%1 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash").arg(sources)},
        {[] { return true; }, nothing},
        {[&] { return writeTrack(src + library[0], 1, "Retitled", 1); }, "0 to convert, 0 to encode again, 1 to retag, 0 to move, 0 to trash"},
        {[&] { return QFile::rename(src + library[1], src + renamed); }, "0 to convert, 0 to encode again, 0 to retag, 1 to move, 0 to trash"},
        // The album's other tracks get its new figures.
        {[&] { return QFile::remove(src + library[2]); }, "0 to convert, 0 to encode again, 2 to retag, 0 to move, 1 to trash"},
        {[] { return true; }, nothing},
    };
    for (const auto &step : steps) {
        QVERIFY(step.change());
        const QMap<QString, QByteArray> before = mp3s(tree(m_dst));
        const Run dry = encode(args + QStringList {QStringLiteral("--dry-run")});
        QCOMPARE(dry.out.section(QLatin1Char('\n'), -2, -2), step.plan);
        const Run done = encode(args);
        QVERIFY2(done.exitCode == 0, qPrintable(done.err));
        const QMap<QString, QByteArray> after = mp3s(tree(m_dst));
        QStringList changed;
        for (const QString &mp3 : QSet<QString>(before.keyBegin(), before.keyEnd()) | QSet<QString>(after.keyBegin(), after.keyEnd()))
            if (before.value(mp3) != after.value(mp3))
                changed << mp3;
        QCOMPARE(namedIn(dry.out), (changed.sort(), changed));
        QCOMPARE(after.size(), sources - (&step - steps > 3));
        if (&step != steps)
            continue;
        // The stick tells no letter case: the twin folders are numbered, as portable names are.
        QCOMPARE(after, mp3s(batchOf(src, {QStringLiteral("--names=portable")})));
        if (!order.isEmpty()) {
            // Read as a car stereo reads it: from the image, in the order of its entries.
            unmountStick();
            QVERIFY(mountStick(fileSystem, false).isEmpty());
            QCOMPARE(diskOrder(m_dst + QLatin1Char('/')), order);
        }
    }
    if (order.isEmpty()) {
        // Named by the tags: the long title cut to what the stick holds; every source one MP3,
        // the dry run naming each, a second run nothing (one folder holds every album's tracks).
        const QStringList named = args.mid(0, 3) + QStringList {m_stick + QStringLiteral("/named"), QStringLiteral("--name={title}")};
        const Run dry = encode(named + QStringList {QStringLiteral("--dry-run")});
        const Run done = encode(named);
        QVERIFY2(done.exitCode == 0, qPrintable(done.err));
        const QStringList made = mp3s(tree(m_stick + QStringLiteral("/named"))).keys();
        QCOMPARE(made.size(), sources - 1);
        QCOMPARE(namedIn(dry.out), made);
        QVERIFY(made.contains(QString(246, u'l') + QStringLiteral(".mp3")));
        const QString again = encode(named + QStringList {QStringLiteral("--dry-run")}).out;
        QVERIFY2(again.startsWith(nothing), qPrintable(again));
    }
    const QStringList left = tree(m_stick).keys().filter(QLatin1String(".sonovert-"));
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));

    // Mounted read-only (as a locked card is): the dry run, which cannot ask the stick by making
    // names, finds the names the runs gave; a run changes nothing and says why.
    const QString readOnly = m_dir.filePath(QStringLiteral("read-only"));
    const auto let = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {readOnly}); });
    if (!QDir().mkpath(readOnly) || QProcess::execute(QStringLiteral("mount"), {"--bind", m_dst, readOnly}) != 0
        || QProcess::execute(QStringLiteral("mount"), {"-o", "remount,bind,ro", readOnly}) != 0)
        QSKIP("no read-only bind mount can be had here");
    const QStringList onReadOnly = args.mid(0, 3) + QStringList {readOnly};
    QVERIFY(encode(onReadOnly + QStringList {QStringLiteral("--dry-run")}).out.startsWith(nothing));
    const Run refused = encode(onReadOnly);
    QVERIFY2(refused.exitCode == 1 && refused.err.contains(QLatin1String("read-only")), qPrintable(refused.err));
}

void TstMirrorStick::recordGrows_data()
{
    QTest::addColumn<QString>("fileSystem");
    QTest::addColumn<int>("first"); // sources of the first run, 122 with the second's
    QTest::newRow("fat: a later run adds pages") << "fat" << 2;
}

// A record that a later run grows well past the pages its first run wrote is whole once the stick
// is mounted again, and a run with nothing to do leaves it as it was.
void TstMirrorStick::recordGrows()
{
    QFETCH(QString, fileSystem);
    QFETCH(int, first);
    if (::geteuid() != 0)
        QSKIP("mounting a file system image needs root");
    m_image = m_dir.filePath(fileSystem + QStringLiteral("-grows.img"));
    m_stick = m_dir.filePath(fileSystem + QStringLiteral("-grows"));
    const auto unmount = qScopeGuard([this] { unmountStick(); });
    if (const QString why = mountStick(fileSystem); !why.isEmpty())
        QSKIP(qPrintable(why));
    const QString src = m_dir.filePath(fileSystem + QStringLiteral("-grows-src/"));
    m_dst = m_stick + QStringLiteral("/mp3");
    const QString record = m_dst + QStringLiteral("/.sonovert-mirror.sqlite");
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst, QStringLiteral("--jobs=2")};
    // Long names make long rows: a few sources fill a page.
    const QString album = QStringLiteral("An album whose name runs long enough to fill a record's page in few rows/");
    qint64 firstSize = 0;
    for (const int sources : {first, 122}) {
        for (int i = 0; i < sources; ++i)
            QVERIFY(writeTrack(src + album + QStringLiteral("Track %1 of a title as long as its album's.wav").arg(i, 3, 10, QLatin1Char('0')),
                               quint32(i + 1), "Track", 0.2));
        const Run done = encode(args);
        QVERIFY2(done.exitCode == 0, qPrintable(done.err));
        firstSize = firstSize ? firstSize : QFileInfo(record).size();
    }
    // What the image holds, not what the driver keeps in memory.
    unmountStick();
    QVERIFY(mountStick(fileSystem, false).isEmpty());
    QVERIFY2(QFileInfo(record).size() >= 4 * firstSize, qPrintable(QString::number(firstSize)));
    sqlite3 *opened = nullptr;
    QCOMPARE(sqlite3_open_v2(QFile::encodeName(record).constData(), &opened, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3, int (*)(sqlite3 *)> db(opened, sqlite3_close);
    QStringList answers;
    const auto collect = [](void *into, int, char **values, char **) {
        *static_cast<QStringList *>(into) << QString::fromUtf8(values[0]);
        return 0;
    };
    QCOMPARE(sqlite3_exec(db.get(), "PRAGMA integrity_check; SELECT count(*) FROM mp3s", collect, &answers, nullptr), SQLITE_OK);
    QCOMPARE(answers, (QStringList {QStringLiteral("ok"), QStringLiteral("122")}));
    db.reset();
    // The first run after mounting again records the MP3s' times as the image keeps them; the
    // next, with nothing to do, leaves the record's file as it is.
    struct stat before {}, after {};
    QVERIFY(encode(args).exitCode == 0 && ::stat(QFile::encodeName(record).constData(), &before) == 0);
    QVERIFY(encode(args).exitCode == 0 && ::stat(QFile::encodeName(record).constData(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    QCOMPARE(tree(m_stick).keys().filter(QLatin1String(".new")), QStringList());
}

QTEST_GUILESS_MAIN(TstMirrorStick)
#include "tst_mirrorstick.moc"
