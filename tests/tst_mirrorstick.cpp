// sonovert-encode --mirror onto a USB stick's file systems as a desktop mounts them: FAT32 through
// fusefat, exFAT through exfat-fuse.
#include "mirrortest.h"

#include <QDir>
#include <QRegularExpression>
#include <QtTest>

#include <dirent.h>
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

const char kSheet[] = "FILE \"image.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"Opening\"\n    INDEX 01 00:00:00\n"
                      "  TRACK 02 AUDIO\n    TITLE \"Closing\"\n    INDEX 01 00:05:00\n";

} // namespace

class TstMirrorStick : public MirrorTest
{
    Q_OBJECT

private slots:
    void onStick_data();
    void onStick();
};

void TstMirrorStick::onStick_data()
{
    QTest::addColumn<QString>("fileSystem");
    // WAVEs below SRC (image.wav with its sheet: a CD image of two tracks); the first three are
    // retagged, renamed in letter case and deleted, in turn.
    QTest::addColumn<QStringList>("library");
    QTest::addColumn<QStringList>("order"); // a fresh copy's entries, as its folders list them on disk
    const QStringList albums {"Cold/2 Two.wav", "Band/Take.wav", "Alpha/3 C.wav", "Alpha/1 A.wav", "Alpha/2 B.wav",
                              "Cold/1 One.wav", "BAND/Demo.wav", "Disc/image.wav"};
    const QStringList order {"Alpha", "Alpha/1 A.mp3", "Alpha/2 B.mp3", "Alpha/3 C.mp3", "BAND", "BAND/Demo.mp3",
                             "Band (2)", "Band (2)/Take.mp3", "Cold", "Cold/1 One.mp3", "Cold/2 Two.mp3", "Disc", "Disc/image",
                             "Disc/image/01 Opening.mp3", "Disc/image/02 Closing.mp3"};
    for (const char *fileSystem : {"fat", "exfat"})
        QTest::addRow("%s: three albums, twin folders, a CD image", fileSystem) << fileSystem << albums << order;
}

// After a first run, a retag, a rename in letter case alone and a deletion: the dry run named what
// the run changed, each source has one MP3 (those of the first run the batch's), and a run with
// nothing changed writes nothing. A fresh copy's entries are in name order on the disk.
void TstMirrorStick::onStick()
{
    QFETCH(QString, fileSystem);
    QFETCH(QStringList, library);
    QFETCH(QStringList, order);
    if (::geteuid() != 0)
        QSKIP("mounting a file system image needs root");
    m_image = m_dir.filePath(fileSystem + QStringLiteral(".img"));
    m_stick = m_dir.filePath(fileSystem + QStringLiteral("-stick"));
    const auto unmount = qScopeGuard([this] { unmountStick(); });
    if (const QString why = mountStick(fileSystem); !why.isEmpty())
        QSKIP(qPrintable(why));
    const QString src = m_dir.filePath(fileSystem + QStringLiteral("-src/"));
    for (int i = 0; i < library.size(); ++i)
        QVERIFY(writeTrack(src + library[i], quint32(i + 1), "T", library[i].contains("image") ? 8 : 1));
    QFile sheet(src + QStringLiteral("Disc/image.cue"));
    QVERIFY(sheet.open(QIODevice::WriteOnly) && sheet.write(kSheet) > 0);
    sheet.close();
    m_dst = m_stick + QStringLiteral("/mp3");
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst, QStringLiteral("--jobs=2")};
    const QString nothing = QStringLiteral("0 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash");
    const struct
    {
        std::function<bool()> change;
        QString plan; // the dry run's counts
    } steps[] = {
        {[] { return true; }, "9 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash"},
        {[] { return true; }, nothing},
        {[&] { return writeTrack(src + library[0], 1, "Retitled", 1); }, "0 to convert, 0 to encode again, 1 to retag, 0 to move, 0 to trash"},
        {[&] { return QFile::rename(src + library[1], src + QStringLiteral("Band/TAKE.wav")); }, "0 to convert, 0 to encode again, 0 to retag, 1 to move, 0 to trash"},
        // The album's other tracks get its new figures.
        {[&] { return QFile::remove(src + library[2]); }, "0 to convert, 0 to encode again, 2 to retag, 0 to move, 1 to trash"},
        {[] { return true; }, nothing},
    };
    static const QRegularExpression listed(QStringLiteral("^(?:convert|encode again|retag|move .* ->|trash) (.*?\\.mp3)"), QRegularExpression::MultilineOption);
    for (const auto &step : steps) {
        QVERIFY(step.change());
        const QMap<QString, QByteArray> before = mp3s(tree(m_dst));
        const Run dry = encode(args + QStringList {QStringLiteral("--dry-run")});
        QCOMPARE(dry.out.section(QLatin1Char('\n'), -2, -2), step.plan);
        const Run done = encode(args);
        QVERIFY2(done.exitCode == 0, qPrintable(done.err));
        const QMap<QString, QByteArray> after = mp3s(tree(m_dst));
        QStringList named;
        for (const QRegularExpressionMatch &match : listed.globalMatch(dry.out))
            named << match.captured(1).toLower();
        QStringList changed;
        for (const QString &mp3 : QSet<QString>(before.keyBegin(), before.keyEnd()) | QSet<QString>(after.keyBegin(), after.keyEnd()))
            if (before.value(mp3) != after.value(mp3))
                changed << mp3;
        QCOMPARE((named.sort(), named), (changed.sort(), changed));
        QCOMPARE(after.size(), library.size() + 1 - (&step - steps > 3));
        if (&step == steps) {
            // The stick tells no letter case: the twin folders are numbered, as portable names are.
            QCOMPARE(after, mp3s(batchOf(src, {QStringLiteral("--names=portable")})));
            // Read as a car stereo reads it: from the image, in the order of its entries.
            unmountStick();
            QVERIFY(mountStick(fileSystem, false).isEmpty());
            QCOMPARE(diskOrder(m_dst + QLatin1Char('/')), order);
        }
    }
    const QStringList left = tree(m_stick).keys().filter(QLatin1String(".sonovert-"));
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
}

QTEST_GUILESS_MAIN(TstMirrorStick)
#include "tst_mirrorstick.moc"
