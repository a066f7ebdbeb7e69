// M3U playlists carried into the MP3 copy: entries resolved in-process, then the hand-written
// playlists of tests/support/playlists through a batch, a mirror's life and an exFAT stick.
#include "mirrortest.h"
#include "wavegen.h"

#include "cli/playlistrecord.h"
#include "cli/playlists.h"
#include "encoder/playlist/playlistlibrary.h"
#include "encoder/playlist/playlisttext.h"

#include <QDir>
#include <QStringDecoder>
#include <QUrl>
#include <QtTest>

#include <unistd.h>

namespace {

const char kSheet[] = "PERFORMER \"Band\"\nFILE \"image.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"Opening\"\n"
                      "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"Closing\"\n    INDEX 01 00:05:00\n";

// The entries of a playlist written on disk (not its directives), as its reader takes them.
QStringList entriesOf(const QString &playlist)
{
    const QByteArray bytes = contentOf(playlist);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes); // the Windows-1252 of the names here
    QStringList entries;
    for (const QString &line : text.split(u'\n', Qt::SkipEmptyParts))
        if (!line.startsWith(u'#'))
            entries << line.trimmed();
    return entries;
}

// The entries that name no file there, joined to the playlist's folder.
QStringList missingOf(const QString &playlist)
{
    QStringList missing;
    for (const QString &entry : entriesOf(playlist))
        if (!QFileInfo(QFileInfo(playlist).dir().filePath(entry)).isFile() || !entry.endsWith(QLatin1String(".mp3")))
            missing << entry;
    return missing;
}

} // namespace

class TstPlaylists : public MirrorTest
{
    Q_OBJECT

private slots:
    void resolve_data();
    void resolve();
    void encodings();
    void step_data();
    void step();
    void jobOutput_data();
    void jobOutput();
    void batch_data();
    void batch();
    void mirrorLife();
    void onStick();
};

void TstPlaylists::resolve_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("folder"); // the playlist's
    QTest::addColumn<QString>("source"); // empty: names nothing below /lib

    const QString lists = QStringLiteral("/lib/Lists");
    const QString song = QStringLiteral("/lib/Artist/Album/01 Song.wav");
    QTest::newRow("relative") << "Album/01 Song.wav" << "/lib/Artist" << song;
    QTest::newRow("relative with ..") << "../Artist/Album/01 Song.wav" << lists << song;
    QTest::newRow("absolute below SRC") << song << lists << song;
    QTest::newRow("file URL, escaped") << "file:///lib/Artist/Album/01%20Song.wav" << lists << song;
    QTest::newRow("file URL of a drive") << "file:///C:/Music/Other/%C3%9Cber.flac" << lists
                                         << "/lib/Other/\u00dcber.flac";
    QTest::newRow("backslashes") << "..\\Artist\\Album\\01 Song.wav" << lists << song;
    QTest::newRow("drive letter, old root") << "C:\\Users\\me\\Music\\Artist\\Album\\01 Song.wav" << lists << song;
    QTest::newRow("old home folder") << "/home/old/Music/Other/\u00dcber.flac" << lists << "/lib/Other/\u00dcber.flac";
    QTest::newRow("network share") << "\\\\nas\\music\\Other\\\u00dcber.flac" << lists << "/lib/Other/\u00dcber.flac";
    QTest::newRow("longest tail wins") << "/old/Artist/Album/01 Song.wav" << lists << song;
    QTest::newRow("mis-cased") << "../ARTIST/album/01 song.WAV" << lists << song;
    QTest::newRow("mis-cased, two files match") << "twins/A.WAV" << "/lib" << QString();
    QTest::newRow("twin named exactly") << "Twins/A.wav" << "/lib" << "/lib/Twins/A.wav";
    QTest::newRow("missing") << "../Artist/Album/03 Gone.wav" << lists << QString();
    QTest::newRow("lossy, known") << "../Other/x.ogg" << lists << "/lib/Other/x.ogg";
    QTest::newRow("outside, no tail") << "/etc/passwd" << lists << QString();
    QTest::newRow("relative out of SRC") << "../../etc/hosts" << lists << QString();
    QTest::newRow("a colon in a name") << "Live: 1999/Intro.wav" << "/lib" << "/lib/Live: 1999/Intro.wav";
    QTest::newRow("a stream") << "http://radio.example/Artist/Album/01 Song.wav" << lists << QString();
    QTest::newRow("a directive") << "#EXTINF:3,Song" << lists << QString();
}

void TstPlaylists::resolve()
{
    QFETCH(QString, entry);
    QFETCH(QString, folder);
    QFETCH(QString, source);
    PlaylistLibrary library({QStringLiteral("/lib")});
    for (const char *path : {"/lib/Artist/Album/01 Song.wav", "/lib/Other/\u00dcber.flac", "/lib/Twins/a.wav",
                             "/lib/Twins/A.wav", "/lib/Live: 1999/Intro.wav"})
        library.add(QString::fromUtf8(path), {QStringLiteral("/out/x.mp3"), QString()});
    library.addWithoutMp3(QStringLiteral("/lib/Other/x.ogg"));
    QCOMPARE(library.resolve(entry, folder), source);
}

// Read and written back as stored; a name beyond Windows-1252 makes it UTF-8.
void TstPlaylists::encodings()
{
    const QByteArray legacy = "#EXTM3U\r\nBj\xf6rk\\D\xe9" "but.wav\r\n";
    PlaylistText text = readPlaylistText(legacy, false);
    QCOMPARE(text.lines, QStringList({"#EXTM3U", "Bj\u00f6rk\\D\u00e9but.wav"}));
    QCOMPARE(playlistBytes(text), legacy);
    text.lines << QStringLiteral("\u041c\u043e\u0441\u043a\u0432\u0430.mp3");
    bool asUtf8 = false;
    QCOMPARE(playlistBytes(text, &asUtf8), QByteArray("#EXTM3U\r\nBj\xc3\xb6rk\\D\xc3\xa9" "but.wav\r\n"
                                                      "\xd0\x9c\xd0\xbe\xd1\x81\xd0\xba\xd0\xb2\xd0\xb0.mp3\r\n"));
    QVERIFY(asUtf8);
    const QByteArray bom = "\xef\xbb\xbf\xc3\xa9.wav\n";
    QCOMPARE(readPlaylistText(bom, false).encoding, PlaylistEncoding::Utf8);
    QCOMPARE(playlistBytes(readPlaylistText(bom, false)), bom);
    // An .m3u8 is UTF-8 even where a byte is not: no code page is guessed.
    QCOMPARE(readPlaylistText("\xe9.wav\n", true).encoding, PlaylistEncoding::Utf8);
}

void TstPlaylists::step_data()
{
    QTest::addColumn<bool>("recorded"); // as Lists/a.m3u with digest "d1"
    QTest::addColumn<QString>("playlist");
    QTest::addColumn<QByteArray>("digest");
    QTest::addColumn<qint64>("sizeThere"); // -1: no file there; the playlist is 10 bytes
    QTest::addColumn<PlaylistStep>("step");
    QTest::newRow("new") << false << "Lists/a.m3u" << QByteArray("d1") << qint64(-1) << PlaylistStep::Write;
    QTest::newRow("not there, unrecorded") << false << "Lists/a.m3u" << QByteArray("d1") << qint64(10) << PlaylistStep::Write;
    QTest::newRow("as written") << true << "Lists/a.m3u" << QByteArray("d1") << qint64(10) << PlaylistStep::Keep;
    QTest::newRow("changed") << true << "Lists/a.m3u" << QByteArray("d2") << qint64(10) << PlaylistStep::Write;
    QTest::newRow("deleted on DST") << true << "Lists/a.m3u" << QByteArray("d1") << qint64(-1) << PlaylistStep::Write;
    QTest::newRow("edited on DST") << true << "Lists/a.m3u" << QByteArray("d1") << qint64(12) << PlaylistStep::Write;
    QTest::newRow("names changed") << true << "Lists/A.m3u" << QByteArray("d1") << qint64(10)
                                   << PlaylistStep::WriteAndRemoveOld;
}

void TstPlaylists::step()
{
    QFETCH(bool, recorded);
    QFETCH(QString, playlist);
    QFETCH(QByteArray, digest);
    QFETCH(qint64, sizeThere);
    QFETCH(PlaylistStep, step);
    const PlaylistRecord record {0, QStringLiteral("Lists/a.m3u"), QStringLiteral("Lists/a.m3u"), "d1"};
    QCOMPARE(playlistStep(recorded ? &record : nullptr, playlist, digest, 10,
                          sizeThere < 0 ? std::nullopt : std::optional<qint64>(sizeThere)),
             step);
}

void TstPlaylists::jobOutput_data()
{
    QTest::addColumn<QString>("outputDir");
    QTest::addColumn<bool>("job");
    QTest::newRow("a listed batch's") << "/srv/mp3/./Band/Album" << true;
    QTest::newRow("a listed batch's root") << "/srv/mp3/." << true;
    QTest::newRow("a mirror job's") << "/srv/mp3/.sonovert-incoming/0/Band" << true;
    QTest::newRow("absolute") << "/srv/mp3" << false;
    QTest::newRow("relative, dot first") << "./mp3" << false;
    QTest::newRow("relative") << "mp3/./x" << false;
}

void TstPlaylists::jobOutput()
{
    QFETCH(QString, outputDir);
    QFETCH(bool, job);
    QCOMPARE(isJobOutput(outputDir), job);
}

void TstPlaylists::batch_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QString>("dropped"); // what the run says of it; empty: nothing
    QTest::newRow("relative, UTF-8") << "relative.m3u8"
                                     << QByteArray("#EXTM3U\n#EXTINF:1,Artist - Song\n../Artist/Album/01 Song.mp3\n"
                                                   "#EXTINF:1,Bj\xc3\xb6rk - Human\n../Bj\xc3\xb6rk/D\xc3\xa9" "but/01 Human.mp3\n")
                                     << "relative.m3u8: 2 entries name no MP3";
    QTest::newRow("absolute, file URL, BOM")
        << "absolute.m3u"
        << QByteArray("\xef\xbb\xbf#EXTM3U\n../Artist/Album/02 Two.mp3\n../Bj\xc3\xb6rk/D\xc3\xa9" "but/01 Human.mp3\n"
                      "../Artist/Album/01 Song.mp3\n")
        << QString();
    QTest::newRow("Windows-1252, backslashes, drives, a CD image")
        << "windows.m3u"
        << QByteArray("#EXTM3U\r\n#EXTINF:1,Bj\xf6rk - Human\r\n../Bj\xf6rk/D\xe9" "but/01 Human.mp3\r\n"
                      "#EXTINF:5,Band - Opening\r\n../Disc/image/01 Opening.mp3\r\n#EXTINF:3,Band - Closing\r\n"
                      "../Disc/image/02 Closing.mp3\r\n#EXTINF:1,Artist - Two\r\n../Artist/Album/02 Two.mp3\r\n"
                      "../Artist/Album/01 Song.mp3\r\n")
        << "windows.m3u: 1 entry names no MP3";
    QTest::newRow("a sheet, an Ogg") << "image.m3u8"
                                     << QByteArray("# A sheet named in place of its image\n#EXTINF:5,Band - Opening\n"
                                                   "../Disc/image/01 Opening.mp3\n#EXTINF:3,Band - Closing\n"
                                                   "../Disc/image/02 Closing.mp3\n")
                                     << "image.m3u8: 1 entry names no MP3";
}

// The hand-written playlists through one batch: each written as expected, each entry an MP3 there.
void TstPlaylists::batch()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, written);
    QFETCH(QString, dropped);
    static Run run;
    const QString src = m_dir.filePath(QStringLiteral("lib"));
    const QString out = m_dir.filePath(QStringLiteral("out"));
    if (run.exitCode < 0) {
        const char *tracks[] = {"Artist/Album/01 Song.wav", "Artist/Album/02 Two.wav", "Bj\xc3\xb6rk/D\xc3\xa9" "but/01 Human.wav"};
        for (quint32 i = 0; i < std::size(tracks); ++i)
            QVERIFY(writeTrack(src + u'/' + QString::fromUtf8(tracks[i]), i + 1, "T", 1));
        QVERIFY(writeTrack(src + QStringLiteral("/Disc/image.wav"), 9, "T", 8));
        QVERIFY(QDir().mkpath(src + QStringLiteral("/Lossy")) && QDir().mkpath(src + QStringLiteral("/Lists")));
        QFile sheet(src + QStringLiteral("/Disc/image.cue")), ogg(src + QStringLiteral("/Lossy/x.ogg"));
        QVERIFY(sheet.open(QIODevice::WriteOnly) && sheet.write(kSheet) > 0 && ogg.open(QIODevice::WriteOnly));
        sheet.close();
        const QDir hand(QStringLiteral(QT_TESTCASE_SOURCEDIR "/support/playlists"));
        for (const QString &file : hand.entryList(QDir::Files)) {
            QByteArray bytes = contentOf(hand.filePath(file));
            bytes.replace("@SRCURL@", QUrl::toPercentEncoding(src, "/")).replace("@SRC@", QFile::encodeName(src));
            QFile copy(src + QStringLiteral("/Lists/") + file);
            QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(bytes) == bytes.size());
        }
        run = encode({src, QStringLiteral("-o"), out});
    }
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QString playlist = out + QStringLiteral("/Lists/") + name;
    QCOMPARE(contentOf(playlist), written);
    QCOMPARE(missingOf(playlist), QStringList());
    if (dropped.isEmpty())
        QVERIFY2(!run.err.contains(name + u':'), qPrintable(run.err));
    else
        QVERIFY2(run.err.contains(dropped), qPrintable(run.err));
}

// Renamed folders, deleted tracks, MP3s renamed by --name, a changed and a deleted playlist: each
// entry names an MP3 there, none whose source has one is missing, and a run with nothing changed
// writes no playlist.
void TstPlaylists::mirrorLife()
{
    const QString src = m_dir.filePath(QStringLiteral("life"));
    const QString dst = m_dir.filePath(QStringLiteral("life-mp3"));
    // Each source's title, which names its MP3 (--name={title}).
    QMap<QString, QString> titles {{"A/1.wav", "One"}, {"A/2.wav", "Two"}, {"B/1.wav", "Three"}, {"B/2.wav", "Four"}};
    quint32 seed = 0;
    for (const auto &[path, title] : titles.asKeyValueRange())
        QVERIFY(writeTrack(src + u'/' + path, ++seed, title.toUtf8(), 1));
    const auto writeList = [&](const QString &name, const QByteArray &text) {
        QFile list(src + QStringLiteral("/Lists/") + name);
        return QDir().mkpath(src + QStringLiteral("/Lists")) && list.open(QIODevice::WriteOnly) && list.write(text) > 0;
    };
    QVERIFY(writeList("all.m3u8", "../A/1.wav\n../A/2.wav\n../B/1.wav\n../B/2.wav\n"));
    QVERIFY(writeList("b.m3u", "#EXTM3U\n../B/2.wav\n../B/1.wav\n"));
    const QStringList args {QStringLiteral("--mirror"), src, QStringLiteral("-o"), dst, QStringLiteral("--name={title}")};
    const struct
    {
        std::function<bool()> change;
        QStringList all; // all.m3u8's entries afterwards; b.m3u's below
        QStringList b;
    } steps[] = {
        {[] { return true; }, {"../One.mp3", "../Two.mp3", "../Three.mp3", "../Four.mp3"}, {"../Four.mp3", "../Three.mp3"}},
        {[&] { return QDir(src).rename("A", "A2"); }, {"../Three.mp3", "../Four.mp3"}, {"../Four.mp3", "../Three.mp3"}},
        {[&] { return QFile::remove(src + QStringLiteral("/B/2.wav")); }, {"../Three.mp3"}, {"../Three.mp3"}},
        {[&] { return writeTrack(src + QStringLiteral("/B/1.wav"), 3, "Renamed", 1); }, {"../Renamed.mp3"}, {"../Renamed.mp3"}},
        {[&] { return writeList("all.m3u8", "../A2/2.wav\n../B/1.wav\n"); }, {"../Two.mp3", "../Renamed.mp3"}, {"../Renamed.mp3"}},
        {[&] { return QFile::remove(src + QStringLiteral("/Lists/b.m3u")); }, {"../Two.mp3", "../Renamed.mp3"}, {}},
    };
    const QString all = dst + QStringLiteral("/Lists/all.m3u8"), b = dst + QStringLiteral("/Lists/b.m3u");
    for (const auto &step : steps) {
        QVERIFY(step.change());
        const Run changed = encode(args);
        QVERIFY2(changed.exitCode == 0, qPrintable(changed.err));
        QCOMPARE(entriesOf(all), step.all);
        QCOMPARE(missingOf(all), QStringList());
        QCOMPARE(QFileInfo::exists(b), !step.b.isEmpty());
        QCOMPARE(entriesOf(b), step.b);
        // Nothing changed: neither playlist is written again.
        QVERIFY(setTime(all, {1000, 0}) && (step.b.isEmpty() || setTime(b, {1000, 0})));
        const Run again = encode(args);
        QVERIFY2(again.exitCode == 0, qPrintable(again.err));
        QCOMPARE(QFileInfo(all).lastModified().toSecsSinceEpoch(), 1000);
        if (!step.b.isEmpty())
            QCOMPARE(QFileInfo(b).lastModified().toSecsSinceEpoch(), 1000);
    }
    // Off: what was written stays as it is, its source gone or not.
    QVERIFY(QFile::remove(src + QStringLiteral("/Lists/all.m3u8")));
    const Run off = encode(args + QStringList {QStringLiteral("--playlists=off")});
    QVERIFY2(off.exitCode == 0, qPrintable(off.err));
    QCOMPARE(entriesOf(all), QStringList({"../Two.mp3", "../Renamed.mp3"}));
}

// On an exFAT stick with portable names, each entry names a file the stick holds.
void TstPlaylists::onStick()
{
    if (::geteuid() != 0)
        QSKIP("mounting a file system image needs root");
    m_image = m_dir.filePath(QStringLiteral("exfat.img"));
    m_stick = m_dir.filePath(QStringLiteral("exfat-stick"));
    const auto unmount = qScopeGuard([this] { unmountStick(); });
    if (const QString why = mountStick(QStringLiteral("exfat")); !why.isEmpty())
        QSKIP(qPrintable(why));
    const QString src = m_dir.filePath(QStringLiteral("stick-src"));
    QVERIFY(writeTrack(src + QStringLiteral("/Live: Tour/What?.wav"), 1, "T", 1));
    QVERIFY(writeTrack(src + QStringLiteral("/Live: Tour/Why*.wav"), 2, "T", 1));
    QFile list(src + QStringLiteral("/Mix: Best?.m3u8"));
    QVERIFY(list.open(QIODevice::WriteOnly) && list.write("Live: Tour/Why*.wav\nlive: tour/what?.wav\n") > 0);
    list.close();
    const Run run = encode({QStringLiteral("--mirror"), src, QStringLiteral("-o"), m_stick + QStringLiteral("/mp3")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QString playlist = m_stick + QStringLiteral("/mp3/Mix_ Best_.m3u8");
    QCOMPARE(entriesOf(playlist), QStringList({"Live_ Tour/Why_.mp3", "Live_ Tour/What_.mp3"}));
    QCOMPARE(missingOf(playlist), QStringList());
}

QTEST_GUILESS_MAIN(TstPlaylists)
#include "tst_playlists.moc"
