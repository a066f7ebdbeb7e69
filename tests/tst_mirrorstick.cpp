// sonovert-encode --mirror onto the file systems of USB sticks, through FUSE as a user mounts them:
// FAT32 (fusefat) and exFAT (exfat-fuse), each image made, mounted and unmounted here.
#include "mirrortest.h"

#include "wavegen.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <cstring>
#include <functional>

#include <dirent.h>
#include <unistd.h>

namespace {

bool run(const QString &program, const QStringList &args, QString *out = nullptr)
{
    QProcess process;
    process.start(program, args);
    const bool ran = process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return ran;
}

// Whether a process still has the file open: a FUSE daemon writes its image until it exits.
bool heldOpen(const QString &file)
{
    const QString target = QFileInfo(file).canonicalFilePath();
    QDirIterator fds(QStringLiteral("/proc"), {QStringLiteral("[0-9]*")}, QDir::Dirs);
    while (fds.hasNext()) {
        QDirIterator fd(fds.next() + QStringLiteral("/fd"), QDir::Files | QDir::System);
        while (fd.hasNext()) {
            if (QFileInfo(fd.next()).symLinkTarget() == target)
                return true;
        }
    }
    return false;
}

// The MP3s below dir by path, case folded (a stick keeps one name of each case), with their bytes.
QMap<QString, QByteArray> mp3s(const QString &dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, {QStringLiteral("*.mp3")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        files.insert(QDir(dir).relativeFilePath(file.fileName()).toLower(), file.open(QIODevice::ReadOnly) ? file.readAll() : "?");
    }
    return files;
}

// Every entry below dir in the order the folders list them on disk, the mirror's own left out.
QStringList diskOrder(const QString &dir, const QString &below = QString())
{
    QStringList entries;
    DIR *folder = ::opendir(QFile::encodeName(dir).constData());
    if (!folder)
        return {QStringLiteral("cannot be read: ") + dir};
    while (const dirent *entry = ::readdir(folder)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String("..") || name.startsWith(QLatin1String(".sonovert-")))
            continue;
        entries << below + name;
        if (entry->d_type == DT_DIR)
            entries << diskOrder(dir + QLatin1Char('/') + name, below + name + QLatin1Char('/'));
    }
    ::closedir(folder);
    return entries;
}

// A CD image's sheet of three tracks of 3 s, 3 s and 4 s.
const char kSheet[] = "TITLE \"Disc\"\nPERFORMER \"Band\"\nFILE \"image.wav\" WAVE\n"
                      "  TRACK 01 AUDIO\n    TITLE \"Opening\"\n    INDEX 01 00:00:00\n"
                      "  TRACK 02 AUDIO\n    TITLE \"Middle\"\n    INDEX 01 00:03:00\n"
                      "  TRACK 03 AUDIO\n    TITLE \"Closing\"\n    INDEX 01 00:06:00\n";

} // namespace

class TstMirrorStick : public MirrorTest
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void onStick_data();
    void onStick();

private:
    // The image made and mounted at m_stick; false with why where it cannot be.
    bool mount(bool format, QString *why);
    void unmount();
    // The steps' checks: the dry run names what the run then makes, and each source has one MP3.
    void runStep(const QStringList &args, int tracks);

    QString m_fileSystem;
    QString m_image;
    QString m_stick;
    QString m_loop; // the exFAT image's loop device
};

bool TstMirrorStick::mount(bool format, QString *why)
{
    const bool fat = m_fileSystem == QLatin1String("fat");
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        *why = QStringLiteral("/dev/fuse cannot be opened here");
        return false;
    }
    if (format) {
        QFile made(m_image);
        if (!made.open(QIODevice::WriteOnly | QIODevice::Truncate) || !made.resize(40 << 20))
            return (*why = QStringLiteral("no room for the image"), false);
        made.close();
        if (!(fat ? run(QStringLiteral("mkfs.fat"), {"-F", "32", m_image}) : run(QStringLiteral("mkfs.exfat"), {m_image}))) {
            *why = QStringLiteral("%1 cannot be run (scripts/install-deps test installs %2)")
                       .arg(fat ? "mkfs.fat" : "mkfs.exfat", fat ? "dosfstools" : "exfatprogs");
            return false;
        }
    }
    // exfat-fuse mounts a block device alone.
    if (!fat && !run(QStringLiteral("losetup"), {"-f", "--show", m_image}, &m_loop)) {
        *why = QStringLiteral("no loop device can be had here for exfat-fuse");
        return false;
    }
    if (!(fat ? run(QStringLiteral("fusefat"), {"-o", "rw+", m_image, m_stick})
              : run(QStringLiteral("mount.exfat-fuse"), {m_loop, m_stick}))) {
        *why = QStringLiteral("%1 cannot mount the image (scripts/install-deps test installs %2)")
                   .arg(fat ? "fusefat" : "mount.exfat-fuse", fat ? "fusefat" : "exfat-fuse");
        return false;
    }
    return true;
}

// Unmounted, and the daemon gone, so that the image holds all it was told.
void TstMirrorStick::unmount()
{
    run(QStringLiteral("umount"), {m_stick});
    for (int wait = 0; wait < 100 && heldOpen(m_loop.isEmpty() ? m_image : m_loop); ++wait)
        QThread::msleep(50);
    if (!m_loop.isEmpty())
        run(QStringLiteral("losetup"), {QStringLiteral("-d"), m_loop});
    m_loop.clear();
}

void TstMirrorStick::runStep(const QStringList &args, int tracks)
{
    const QMap<QString, QByteArray> before = mp3s(m_dst);
    const Run dry = encode(args + QStringList {QStringLiteral("--dry-run")});
    QVERIFY2(dry.exitCode == 0, qPrintable(dry.err));
    QSet<QString> made;
    QSet<QString> trashed;
    static const QRegularExpression line(QStringLiteral("^(convert|encode again|retag|move .* ->|trash) (.*\\.mp3)"));
    for (const QString &listed : dry.out.split(QLatin1Char('\n'))) {
        if (const QRegularExpressionMatch match = line.match(listed); match.hasMatch())
            (match.captured(1) == QLatin1String("trash") ? trashed : made).insert(match.captured(2).toLower());
    }
    const Run done = encode(args);
    QVERIFY2(done.exitCode == 0, qPrintable(done.err));
    const QMap<QString, QByteArray> after = mp3s(m_dst);
    QCOMPARE(after.size(), tracks);
    for (const auto &[mp3, bytes] : after.asKeyValueRange()) {
        QVERIFY2(made.contains(mp3) || before.value(mp3) == bytes, qPrintable(mp3 + " made, not listed"));
    }
    for (const QString &mp3 : std::as_const(made))
        QVERIFY2(after.contains(mp3), qPrintable(mp3 + " listed, not made"));
    for (const QString &mp3 : std::as_const(trashed))
        QVERIFY2(!after.contains(mp3), qPrintable(mp3 + " listed to trash, still there"));
}

void TstMirrorStick::onStick_data()
{
    QTest::addColumn<QString>("fileSystem");
    // The library: WAVEs of 1 s by path below SRC (an image.wav, with image.cue, is a CD image of
    // three tracks), the three to change later first: retagged, renamed in letter case, deleted.
    QTest::addColumn<QStringList>("library");
    QTest::addColumn<QStringList>("order"); // a fresh copy's entries, as the folders list them on disk
    const QStringList albums {"Cold/2 Second.wav", "Band/Take.wav", "Alpha/3 Third.wav", "Alpha/1 First.wav",
                              "Alpha/2 Second.wav", "Cold/1 First.wav", "BAND/Demo.wav", "Disc/image.wav"};
    const QStringList order {"Alpha", "Alpha/1 First.mp3", "Alpha/2 Second.mp3", "Alpha/3 Third.mp3", "BAND",
                             "BAND/Demo.mp3", "BAND/Take.mp3", "Cold", "Cold/1 First.mp3", "Cold/2 Second.mp3",
                             "Disc", "Disc/image", "Disc/image/01 Opening.mp3", "Disc/image/02 Middle.mp3",
                             "Disc/image/03 Closing.mp3"};
    for (const char *fileSystem : {"fat", "exfat"})
        QTest::addRow("%s: three albums, twin folders, a CD image", fileSystem) << fileSystem << albums << order;
}

// A first run, a retag, a rename in letter case alone and a deletion: after each the dry run named
// what the run then made, every source has one MP3, and a run with nothing changed writes nothing.
// A fresh copy's folders list their entries in name order, read from the image mounted again.
void TstMirrorStick::onStick()
{
    QFETCH(QString, fileSystem);
    QFETCH(QStringList, library);
    QFETCH(QStringList, order);
    m_fileSystem = fileSystem;
    m_image = m_dir.filePath(fileSystem + QStringLiteral(".img"));
    m_stick = m_dir.filePath(fileSystem + QStringLiteral("-stick"));
    QVERIFY(QDir().mkpath(m_stick));
    QString why;
    const auto unmounted = qScopeGuard([this] { unmount(); });
    if (!mount(true, &why))
        QSKIP(qPrintable(why));
    const QString src = m_dir.filePath(fileSystem + QStringLiteral("-src"));
    int tracks = 0;
    for (quint32 seed = 0; seed < quint32(library.size()); ++seed) {
        const QString path = src + QLatin1Char('/') + library[seed];
        QVERIFY(writeTrack(path, seed + 1, QFileInfo(path).baseName().toUtf8(), path.contains("image") ? 10 : 1));
        if (path.endsWith(QLatin1String("image.wav"))) {
            QFile sheet(QFileInfo(path).path() + QStringLiteral("/image.cue"));
            QVERIFY(sheet.open(QIODevice::WriteOnly) && sheet.write(kSheet) == qint64(std::strlen(kSheet)));
        }
        tracks += path.endsWith(QLatin1String("image.wav")) ? 3 : 1;
    }
    m_dst = m_stick + QStringLiteral("/mp3");
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_dst, QStringLiteral("--jobs=2")};
    runStep(args, tracks);
    // The batch's MP3s, album figures and all.
    QMap<QString, QByteArray> batch;
    for (const auto &[path, bytes] : batchOf(src, {}).asKeyValueRange())
        batch.insert(path.toLower(), bytes);
    QCOMPARE(mp3s(m_dst), batch);

    // Read as a car stereo reads it: from the image, in the order of its entries.
    unmount();
    QVERIFY2(mount(false, &why), qPrintable(why));
    QCOMPARE(diskOrder(m_dst), order);

    const QString nothing = QStringLiteral("0 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash\n");
    QCOMPARE(encode(args + QStringList {QStringLiteral("--dry-run")}).out, nothing);
    QCOMPARE(encode(args).exitCode, 0);
    QCOMPARE(mp3s(m_dst), batch);

    const auto inSrc = [&](int source) { return src + QLatin1Char('/') + library[source]; };
    const struct
    {
        std::function<bool()> change;
        const char *plan; // the dry run's counts
        int tracksLeft;
    } steps[] = {
        {[&] { return writeTrack(inSrc(0), 1, "Retitled", 1); },
         "0 to convert, 0 to encode again, 1 to retag, 0 to move, 0 to trash", tracks},
        {[&] {
             const QFileInfo renamed(inSrc(1));
             return QFile::rename(renamed.filePath(), renamed.path() + QLatin1Char('/') + renamed.baseName().toUpper() + ".wav");
         },
         "0 to convert, 0 to encode again, 0 to retag, 1 to move, 0 to trash", tracks},
        // The album's other tracks get its new figures.
        {[&] { return QFile::remove(inSrc(2)); }, "0 to convert, 0 to encode again, 2 to retag, 0 to move, 1 to trash",
         tracks - 1},
    };
    for (const auto &step : steps) {
        QVERIFY(step.change());
        QCOMPARE(encode(args + QStringList {QStringLiteral("--dry-run")}).out.section(QLatin1Char('\n'), -2, -2),
                 QString::fromLatin1(step.plan));
        runStep(args, step.tracksLeft);
    }
    QCOMPARE(encode(args + QStringList {QStringLiteral("--dry-run")}).out, nothing);

    QDirIterator all(m_stick, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (all.hasNext()) {
        all.next();
        QVERIFY2(!all.fileName().startsWith(QLatin1String(".sonovert-")) || all.fileName().startsWith(QLatin1String(".sonovert-mirror.sqlite")),
                 qPrintable(all.filePath()));
    }
}

QTEST_GUILESS_MAIN(TstMirrorStick)
#include "tst_mirrorstick.moc"
