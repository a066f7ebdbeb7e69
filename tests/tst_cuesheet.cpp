// CUE sheets: the same sheet from every text encoding, legacy code pages, the tracks' cuts at
// exact sample frames for each pregap choice and each shape of sheet, their files found as
// people keep them, damaged sheets refused naming their line; a sheet of several files
// converted (a single image's tags are checked in the MP3s of tst_batch's images).
#include "encoder/batch/imagetracks.h"
#include "encoder/batch/inputlist.h"
#include "encoder/input/audiosource.h"
#include "encoder/input/cuecuts.h"
#include "encoder/input/cuesheet.h"
#include "encoder/input/cuesheetfiles.h"
#include "encoder/tags/cuetags.h"
#include "cuesheets.h"
#include "audiocompare.h"
#include "mp3check.h"
#include "wavegen.h"

#include <QtTest>

#include <tuple>

namespace {

// Files (name, type, line), catalog, title, performer, songwriter, date, genre, comment, disc,
// total discs; each track's number, line, type, title, performer, songwriter, ISRC, comment,
// date, INDEX 00, INDEX 01 (time, line, file).
const CueSheet kSample {{{"image.wav", "WAVE", 10}}, "0724384260927", "Café ’Nuit’", "Les Étoiles", "Zoë Keller",
                        "2003-04-01", "Musique concrète", "Ripped for Sonovert", "1", "2",
                        {{1, 11, "AUDIO", "Première", "", "", "FRZ039800001", "", "", std::nullopt, {33, 14}},
                         {2, 15, "AUDIO", "Über alles", "Guest Star", "Anon", "FRZ039800002", "Live take", "",
                          CueIndex {225, 22}, {275, 23}},
                         {3, 24, "AUDIO", "L’été", "", "", "FRZ039800003", "", "", CueIndex {460, 28}, {520, 29}}}};

const QByteArray kSampleUtf8 = cueBytes(sampleCueSheet("image.wav"), CueEncoding::Utf8);

QString indexText(const CueIndex &index)
{
    return QStringLiteral("%1:%2").arg(index.file).arg(cueTimeText(index.at));
}

// "name|TYPE" a file, then "N TYPE [00=file:time] 01=file:time [date]" a track.
QString summary(const CueSheet &sheet)
{
    QStringList parts;
    for (const CueFile &file : sheet.files)
        parts << file.name + u'|' + file.type;
    for (const CueTrack &track : sheet.tracks)
        parts << QStringLiteral("%1 %2%3 01=%4%5")
                     .arg(track.number)
                     .arg(track.type, track.pregap ? QStringLiteral(" 00=") + indexText(*track.pregap) : QString(),
                          indexText(track.start), track.date.isEmpty() ? QString() : u' ' + track.date);
    return parts.join(QLatin1String("; "));
}

// "n:begin-end[file:begin-end ...]" a cut.
QString cutsText(const std::vector<CueCut> &cuts)
{
    QStringList found;
    for (const CueCut &cut : cuts) {
        QStringList pieces;
        for (const CuePiece &piece : cut.pieces)
            pieces << QStringLiteral("%1:%2-%3").arg(piece.file).arg(piece.begin).arg(piece.end);
        found << QStringLiteral("%1:%2-%3[%4]").arg(cut.number()).arg(cut.begin).arg(cut.end).arg(pieces.join(u' '));
    }
    return found.join(u' ');
}

// The files of CueShape::NonCompliant, 5, 4 and 3 s of different music, one a FLAC, and their
// samples laid end to end.
bool writeSeparateFiles(const QString &in, std::vector<float> *original)
{
    const std::tuple<const char *, qint64, Container> files[] {{"01 One.wav", 220500, Container::Wave},
                                                                {"02 Two.flac", 176400, Container::Flac},
                                                                {"03 Three.wav", 132300, Container::Wave}};
    quint32 seed = 1;
    for (const auto &[name, frames, container] : files) {
        const QString path = in + u'/' + QLatin1String(name);
        AudioSource source;
        if (!writeWave(path, {.frames = frames, .container = container, .seed = seed++})
            || !source.open(path, false, false))
            return false;
        const std::size_t at = original->size();
        original->resize(at + std::size_t(2 * frames));
        if (source.read(original->data() + at, frames) != frames)
            return false;
    }
    return writeBytes(in + "/Separate.cue", cueShape(CueShape::NonCompliant));
}

bool touch(const QString &path)
{
    return QDir().mkpath(QFileInfo(path).path()) && writeBytes(path, "x");
}

} // namespace

class TestCueSheet : public QObject
{
    Q_OBJECT

private slots:
    void encodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("UTF-8") << kSampleUtf8;
        QTest::newRow("UTF-8 with BOM") << cueBytes(sampleCueSheet("image.wav"), CueEncoding::Utf8Bom);
        QTest::newRow("UTF-16 LE") << cueBytes(sampleCueSheet("image.wav"), CueEncoding::Utf16LeBom);
        QTest::newRow("UTF-16 BE, CR LF") << cueBytes(sampleCueSheet("image.wav", true), CueEncoding::Utf16BeBom);
        QTest::newRow("Windows-1252") << cueBytes(sampleCueSheet("image.wav"), CueEncoding::Windows1252);
        QTest::newRow("UTF-16 LE without a BOM") << cueBytes(sampleCueSheet("image.wav"), CueEncoding::Utf16Le);
        QTest::newRow("UTF-32 LE without a BOM") << cueBytes(sampleCueSheet("image.wav"), CueEncoding::Utf32Le);
        QTest::newRow("CR alone, Ctrl-Z at the end") << QByteArray(kSampleUtf8).replace('\n', '\r') + '\x1a';
    }

    void encodings()
    {
        QFETCH(QByteArray, bytes);
        const Result<CueSheet> sheet = parseCueSheet(bytes);
        QVERIFY2(sheet, qPrintable(sheet ? QString() : sheet.failure().message));
        QVERIFY(*sheet == kSample);
    }

    void cuts_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Pregap>("pregap");
        QTest::addColumn<int>("rate");
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<QString>("cuts"); // or the failure's start
        QTest::newRow("previous") << kSampleUtf8 << Pregap::Previous << 44100 << qint64(396900)
                                  << "0:0-19404 1:19404-161700 2:161700-305760 3:305760-396900";
        QTest::newRow("next") << kSampleUtf8 << Pregap::Next << 44100 << qint64(396900)
                              << "0:0-19404 1:19404-132300 2:132300-270480 3:270480-396900";
        QTest::newRow("drop, 48 kHz") << kSampleUtf8 << Pregap::Drop << 48000 << qint64(432000)
                                      << "0:0-21120 1:21120-144000 2:176000-294400 3:332800-432000";
        QTest::newRow("32 kHz: the sample frame before") << kSampleUtf8 << Pregap::Previous << 32000 << qint64(288000)
                                                         << "0:0-14080 1:14080-117333 2:117333-221866 3:221866-288000";
        QTest::newRow("no hidden track, the first INDEX 00 left")
            << QByteArray("FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 00 00:00:00\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
                          "INDEX 00 00:01:00\nINDEX 01 00:02:00\n")
            << Pregap::Next << 44100 << qint64(132300) << "1:0-44100 2:44100-132300";
        QTest::newRow("INDEX 01 at the end") << kSampleUtf8 << Pregap::Previous << 44100 << qint64(305760)
                                             << "line 29: INDEX 01 at 00:06:70 lies at or past the end";
        QTest::newRow("INDEX 00 past the end")
            << kSampleUtf8 << Pregap::Previous << 44100 << qint64(200000) << "line 28: INDEX 00 at 00:06:10";
    }

    void cuts()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Pregap, pregap);
        QFETCH(int, rate);
        QFETCH(qint64, frames);
        QFETCH(QString, cuts);
        const Result<CueSheet> sheet = parseCueSheet(bytes);
        QVERIFY(sheet);
        const Result<std::vector<CueCut>> made = cueCuts(*sheet, frames, rate, pregap);
        QStringList found; // "n:begin-end"
        for (const CueCut &cut : made ? *made : std::vector<CueCut>()) {
            found << QStringLiteral("%1:%2-%3").arg(cut.number()).arg(cut.begin).arg(cut.end);
            QVERIFY(cut.number() == 0 || cut.track == sheet->tracks[cut.number() - 1]);
        }
        QCOMPARE(made ? found.join(u' ') : made.failure().message.left(cuts.size()), cuts);
    }

    void damaged_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line"); // 0: none named
        QTest::addColumn<QString>("part");
        const QByteArray one("FILE \"a b.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:02:00\n");
        QTest::newRow("no FILE") << QByteArray("TITLE x\n") << 0 << "no FILE";
        QTest::newRow("FILE without a TRACK") << QByteArray("FILE a.wav WAVE\nFILE b.wav WAVE\n") << 2 << "without a TRACK";
        QTest::newRow("INDEX 01 before INDEX 00 in the next file")
            << one + "TRACK 02 AUDIO\nFILE b.wav WAVE\nINDEX 00 00:05:00\nINDEX 01 00:04:00\n" << 7
            << "INDEX 01 at 00:04:00 is before INDEX 00 at 00:05:00";
        QTest::newRow("data only") << QByteArray("FILE a.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n") << 2
                                   << "no AUDIO track";
        QTest::newRow("no TRACK") << QByteArray("REM\nFILE a.wav WAVE\n") << 2 << "without a TRACK";
        QTest::newRow("no INDEX 01") << QByteArray("FILE a\nTRACK 01 AUDIO\nINDEX 00 00:00:00\nTRACK 02 AUDIO\n") << 2
                                     << "track 1 has no INDEX 01";
        QTest::newRow("INDEX 01 not after the last") << one + "TRACK 02 AUDIO\nINDEX 01 00:02:00\n"
                                                     << 5 << "not after track 1's INDEX 01 at 00:02:00";
        QTest::newRow("INDEX 00 after INDEX 01") << one + "INDEX 00 00:03:00\n" << 4 << "INDEX 00 after INDEX 01";
        QTest::newRow("seconds") << QByteArray(one).replace("00:02:00", "00:60:00") << 3 << "malformed time";
        QTest::newRow("numbers not increasing") << one + "TRACK 01 AUDIO\n" << 4 << "numbers must increase";
        QTest::newRow("track without a type") << one + "TRACK 02\n" << 4 << "without a type";
        QTest::newRow("NUL") << QByteArray("FILE a.wav WAVE\nTRACK 01 AUDIO\0\n", 32) << 2 << "U+0000";
        QTest::newRow("too large") << QByteArray(kMaxCueSheetBytes + 1, ' ') << 0 << "1025 KiB";
    }

    void damaged()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QFETCH(QString, part);
        const Result<CueSheet> sheet = parseCueSheet(bytes);
        QVERIFY(!sheet);
        const QString message = sheet.failure().message;
        QVERIFY2(message.startsWith(QStringLiteral("line %1: ").arg(line)) == (line > 0), qPrintable(message));
        QVERIFY2(message.contains(part), qPrintable(message));
    }

    void shapes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<qint64>>("frames"); // of each file, at 44.1 kHz
        QTest::addColumn<Pregap>("pregap");
        QTest::addColumn<QString>("sheet"); // summary()
        QTest::addColumn<QString>("cuts");  // cutsText()
        const QString separate = "01 One.wav|WAVE; 02 Two.flac|WAVE; 03 Three.wav|WAVE; ";
        const QList<qint64> separateFrames {220500, 176400, 132300};
        QTest::newRow("gaps appended") << cueShape(CueShape::GapsAppended) << separateFrames << Pregap::Next
                                       << separate + "1 AUDIO 01=0:00:00:00; 2 AUDIO 01=1:00:00:00; 3 AUDIO 01=2:00:00:00"
                                       << "1:0-220500[0:0-220500] 2:220500-396900[1:0-176400] 3:396900-529200[2:0-132300]";
        QTest::newRow("gaps left out") << cueShape(CueShape::GapsLeftOut) << QList<qint64> {88200, 88200, 88200}
                                       << Pregap::Next
                                       << "01.wav|WAVE; 02.wav|WAVE; 03.wav|WAVE; 1 AUDIO 01=0:00:00:00; "
                                          "2 AUDIO 01=1:00:00:00; 3 AUDIO 01=2:00:00:00"
                                       << "1:0-88200[0:0-88200] 2:88200-176400[1:0-88200] 3:176400-264600[2:0-88200]";
        const QString nonCompliant =
            separate + "1 AUDIO 01=0:00:00:00; 2 AUDIO 00=0:00:04:00 01=1:00:00:00; 3 AUDIO 00=1:00:03:00 01=2:00:00:00";
        QTest::newRow("non-compliant, previous")
            << cueShape(CueShape::NonCompliant) << separateFrames << Pregap::Previous << nonCompliant
            << "1:0-220500[0:0-220500] 2:220500-396900[1:0-176400] 3:396900-529200[2:0-132300]";
        QTest::newRow("non-compliant, next")
            << cueShape(CueShape::NonCompliant) << separateFrames << Pregap::Next << nonCompliant
            << "1:0-176400[0:0-176400] 2:176400-352800[0:176400-220500 1:0-132300] "
               "3:352800-529200[1:132300-176400 2:0-132300]";
        QTest::newRow("double album") << cueShape(CueShape::DoubleAlbum) << QList<qint64> {441000, 352800}
                                      << Pregap::Previous
                                      << "CD1.wav|WAVE; CD2.flac|WAVE; 1 AUDIO 01=0:00:00:00; "
                                         "2 AUDIO 00=0:00:02:00 01=0:00:02:50; 3 AUDIO 00=1:00:00:00 01=1:00:01:00; "
                                         "4 AUDIO 01=1:00:03:00"
                                      << "1:0-117600[0:0-117600] 2:117600-485100[0:117600-441000 1:0-44100] "
                                         "3:485100-573300[1:44100-132300] 4:573300-793800[1:132300-352800]";
        QTest::newRow("unquoted names with spaces")
            << cueShape(CueShape::Unquoted) << QList<qint64> {44100, 44100, 44100} << Pregap::Previous
            << "my song.wav|WAVE; C:\\Rips\\The Band - Live\\02 - Encore.wav|WAVE; bare.wav|; "
               "1 AUDIO 01=0:00:00:00; 2 AUDIO 01=1:00:00:00; 3 AUDIO 01=2:00:00:00"
            << "1:0-44100[0:0-44100] 2:44100-88200[1:0-44100] 3:88200-132300[2:0-44100]";
        const QString mixed = "game.bin|BINARY; 1 MODE1/2352 01=0:00:00:00; 2 AUDIO 00=0:00:10:00 01=0:00:12:00; "
                              "3 AUDIO 01=0:00:20:00";
        QTest::newRow("mixed mode, previous") << cueShape(CueShape::MixedMode) << QList<qint64> {926100}
                                              << Pregap::Previous << mixed
                                              << "2:529200-882000[0:529200-882000] 3:882000-926100[0:882000-926100]";
        QTest::newRow("mixed mode, next") << cueShape(CueShape::MixedMode) << QList<qint64> {926100} << Pregap::Next
                                          << mixed << "2:441000-882000[0:441000-882000] 3:882000-926100[0:882000-926100]";
        QTest::newRow("raw image, big-endian")
            << cueShape(CueShape::Motorola) << QList<qint64> {88200} << Pregap::Previous
            << "disc.raw|MOTOROLA; 1 AUDIO 01=0:00:00:00; 2 AUDIO 01=0:00:00:40"
            << "1:0-23520[0:0-23520] 2:23520-88200[0:23520-88200]";
        QTest::newRow("a track's own date") << cueShape(CueShape::TrackDate) << QList<qint64> {882000}
                                            << Pregap::Previous
                                            << "a.wav|WAVE; 1 AUDIO 01=0:00:00:00; 2 AUDIO 01=0:00:10:00 1994-05-02"
                                            << "1:0-441000[0:0-441000] 2:441000-882000[0:441000-882000]";
    }

    void shapes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<qint64>, frames);
        QFETCH(Pregap, pregap);
        QFETCH(QString, sheet);
        QFETCH(QString, cuts);
        const Result<CueSheet> parsed = parseCueSheet(bytes);
        QVERIFY2(parsed, qPrintable(parsed ? QString() : parsed.failure().message));
        QCOMPARE(summary(*parsed), sheet);
        std::vector<CueFileAudio> files;
        for (const qint64 count : frames)
            files.push_back({count, 44100});
        const Result<std::vector<CueCut>> made = cueCuts(*parsed, files, pregap);
        QVERIFY2(made, qPrintable(made ? QString() : made.failure().message));
        QCOMPARE(cutsText(*made), cuts);
    }

    void trackDate()
    {
        const Result<CueSheet> sheet = parseCueSheet(cueShape(CueShape::TrackDate));
        QVERIFY(sheet);
        QCOMPARE(cueTrackTags(*sheet, sheet->tracks[0]).text(TagKey::Year), QStringLiteral("1990"));
        QCOMPARE(cueTrackTags(*sheet, sheet->tracks[1]).text(TagKey::Year), QStringLiteral("1994"));
    }

    void charsets_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("charset"); // as --cue-charset names it
        QTest::addColumn<QStringList>("texts"); // performer, title, file, track 1's title
        const QStringList russian {"Кино", "Группа крови", "01 Трек 01.wav", "Звезда по имени Солнце"};
        QTest::newRow("Windows-1251") << cueShape(CueShape::Windows1251) << QByteArray() << russian;
        QTest::newRow("Shift-JIS") << cueShape(CueShape::ShiftJis) << QByteArray()
                                   << QStringList {"はっぴいえんど", "風街ろまん", "01 トラック.wav", "風をあつめて"};
        QTest::newRow("Windows-1251 read as Windows-1252 named")
            << cueShape(CueShape::Windows1251) << QByteArray("WINDOWS-1252")
            << QStringList {"Êèíî", "Ãðóïïà êðîâè", "01 Òðåê 01.wav", "Çâåçäà ïî èìåíè Ñîëíöå"};
    }

    void charsets()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, charset);
        QFETCH(QStringList, texts);
        const Result<CueSheet> sheet = parseCueSheet(bytes, charset);
        QVERIFY2(sheet, qPrintable(sheet ? QString() : sheet.failure().message));
        QCOMPARE(QStringList({sheet->performer, sheet->title, sheet->files[0].name, sheet->tracks[0].title}), texts);
    }

    void found_data()
    {
        QTest::addColumn<QString>("sheetName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("found"); // below the sheet's folder, one a FILE
        QTest::addColumn<QString>("said");      // the note, or the error where nothing is found
        const QByteArray tail = " WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
        QTest::newRow("Album.wav beside Album.flac")
            << "Album.cue" << "FILE \"Album.wav\"" + tail << QStringList {"Album.flac", "Album.log"}
            << QStringList {"Album.flac"} << "line 1: FILE names Album.wav: ";
        QTest::newRow("a Windows path") << "x.cue" << "FILE \"C:\\Rips\\Disc 1\\01.wav\"" + tail
                                        << QStringList {"Disc 1/01.wav"} << QStringList {"Disc 1/01.wav"} << "";
        QTest::newRow("a path above the sheet") << "sub/x.cue" << "FILE \"../up.wav\"" + tail
                                                << QStringList {"up.wav", "sub/x.log"} << QStringList {"up.wav"} << "";
        QTest::newRow("the one audio file of the sheet's name")
            << "Live.cue" << "FILE \"CDImage.wav\"" + tail << QStringList {"Live.flac", "Live.jpg"}
            << QStringList {"Live.flac"} << "line 1: FILE names CDImage.wav, which is not there: ";
        QTest::newRow("two audio files of the sheet's name")
            << "Live.cue" << "FILE \"CDImage.wav\"" + tail << QStringList {"Live.flac", "Live.ape"} << QStringList {}
            << "line 1: FILE names ";
        QTest::newRow("a format not read") << "Album.cue" << "FILE \"Album.wav\"" + tail
                                           << QStringList {"Album.ape"} << QStringList {} << ", in APE, a format";
        QTest::newRow("a data file is not looked for")
            << "g.cue" << QByteArray("FILE data.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\nFILE audio.wav WAVE\n"
                          "TRACK 02 AUDIO\nINDEX 01 00:00:00\n")
            << QStringList {"audio.wav"} << QStringList {"", "audio.wav"} << "";
    }

    void found()
    {
        QFETCH(QString, sheetName);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, present);
        QFETCH(QStringList, found);
        QFETCH(QString, said);
        const QTemporaryDir dir;
        for (const QString &name : present)
            QVERIFY(touch(dir.filePath(name)));
        const Result<CueSheet> sheet = parseCueSheet(bytes);
        QVERIFY(sheet);
        QStringList paths;
        QString notes;
        for (const CueFileFound &file : findCueFiles(dir.filePath(sheetName), *sheet)) {
            paths << (file.path.isEmpty() ? QString() : QDir(dir.path()).relativeFilePath(file.path));
            notes += file.error.isEmpty() ? file.note : file.error;
        }
        QCOMPARE(found.isEmpty() ? QStringList() : paths, found);
        QVERIFY2(notes.contains(said) && notes.isEmpty() == said.isEmpty(), qPrintable(notes));
    }

    // Raw CD audio: the tracks of a BINARY image read as the WAVE of the same samples holds them.
    void rawImage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("tracks"); // "NN:first+count" each
        QTest::newRow("mixed mode") << cueShape(CueShape::MixedMode) << "game.bin"
                                    << "02:529200+352800 03:882000+44100";
        QTest::newRow("big-endian") << cueShape(CueShape::Motorola) << "disc.raw" << "01:0+23520 02:23520+902580";
    }

    void rawImage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, image);
        QFETCH(QString, tracks);
        const QTemporaryDir dir;
        const bool bigEndian = image.endsWith(QLatin1String(".raw"));
        QVERIFY(writeRawPcm(dir.filePath(image), 926100, 2, bigEndian, 7));
        QVERIFY(writeWave(dir.filePath("same.wav"), {.frames = 926100, .seed = 7}));
        QVERIFY(writeBytes(dir.filePath("disc.cue"), bytes));
        const std::vector<BatchInput> inputs = imageTracks(dir.filePath("disc.cue"), "disc", Pregap::Previous);
        QStringList found;
        for (const BatchInput &input : inputs) {
            QVERIFY2(input.error.isEmpty(), qPrintable(input.error));
            found << QStringLiteral("%1:%2+%3").arg(input.track, 2, 10, QChar(u'0')).arg(input.range.first).arg(*input.range.count);
            AudioSource track;
            AudioSource wave;
            FrameRange same;
            same.first = input.range.first;
            same.count = input.range.count;
            QVERIFY(track.open(input.path, false, false, input.range) && wave.open(dir.filePath("same.wav"), false, false, same));
            std::vector<short> got(std::size_t(2 * *input.range.count));
            std::vector<short> want(got.size());
            QCOMPARE(track.read(got.data(), *input.range.count), *input.range.count);
            QCOMPARE(wave.read(want.data(), *input.range.count), *input.range.count);
            QVERIFY(got == want);
        }
        QCOMPARE(found.join(u' '), tracks);
        QCOMPARE(inputs.front().note.contains("track 1 is MODE1/2352, data: skipped"), image == "game.bin");
    }

    // A folder's sheet of files of other names is one input, its files not converted whole too.
    void walk()
    {
        const QTemporaryDir dir;
        std::vector<float> original;
        QVERIFY(writeSeparateFiles(dir.path(), &original) && writeWave(dir.filePath("bonus.wav"), {.frames = 4410}));
        InputList inputs({dir.path()});
        QStringList found;
        while (const std::optional<BatchInput> input = inputs.next())
            found << input->below + u'|' + QFileInfo(input->path).fileName();
        QCOMPARE(found.join(u' '), QStringLiteral("Separate/01 One|01 One.wav Separate/02 Two|02 Two.flac "
                                                  "Separate/03 Three|03 Three.wav bonus|bonus.wav"));
    }

    // A sheet of WAVEs and a FLAC, each track's gap at the end of the file before it, through the
    // command: each track decodes to exactly its cut, across the files' ends, and the tracks
    // line up with the files' audio laid end to end.
    void convert_data()
    {
        QTest::addColumn<QString>("pregap");
        QTest::addColumn<QList<qint64>>("cuts"); // each track's first frame and end
        QTest::newRow("previous") << "previous" << QList<qint64> {0, 220500, 220500, 396900, 396900, 529200};
        QTest::newRow("next") << "next" << QList<qint64> {0, 176400, 176400, 352800, 352800, 529200};
    }

    void convert()
    {
        QFETCH(QString, pregap);
        QFETCH(QList<qint64>, cuts);
        const QTemporaryDir dir;
        const QString in = dir.filePath("in");
        QVERIFY(QDir().mkpath(in));
        std::vector<float> original;
        QVERIFY(writeSeparateFiles(in, &original));
        QProcess cli;
        cli.start(SONOVERT_ENCODE, {in + "/Separate.cue", "-o", dir.filePath("out"), "--pregap=" + pregap});
        QVERIFY(cli.waitForFinished(60000));
        QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());
        const QStringList names {"01 One", "02 Two", "03 Three"};
        std::vector<float> joined;
        for (int n = 0; n < names.size(); ++n) {
            const Mp3Info track = decodeMp3(dir.filePath("out/Separate/" + names[n] + ".mp3"), true);
            QVERIFY2(track.ok, qPrintable(track.error));
            QCOMPARE(track.frames, cuts[2 * n + 1] - cuts[2 * n]);
            QCOMPARE(track.id3v2Text.value("TRCK"), QStringLiteral("%1/3").arg(n + 1));
            QCOMPARE(track.id3v2Text.value("TALB"), QStringLiteral("Separate"));
            QCOMPARE(track.id3v2Text.value("TPE1"), QStringLiteral("Band"));
            if (n > 0) {
                const int best = seamShift(joined, track.samples, original, cuts[2 * n]);
                QVERIFY2(best == 0, qPrintable(QStringLiteral("%1 frames off at track %2").arg(best / 2).arg(n + 1)));
            }
            joined = track.samples;
        }
    }
};

QTEST_GUILESS_MAIN(TestCueSheet)
#include "tst_cuesheet.moc"
