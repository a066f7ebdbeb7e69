// The input WAVE's own tags in the MP3: INFO, id3 and bext chunks merged under the typed texts,
// pictures byte for byte, damaged chunks left out with a warning; and the loudness figures
// written over the room held for them. Everything is read back with libmpg123; the tags of FLAC
// and AIFF inputs also with mutagen and eyeD3.
#include "encoder/encoderun.h"
#include "encoder/output/mp3file.h"
#include "encoder/output/mp3output.h"
#include "encoder/tags/gainread.h"
#include "encoder/tags/id3render.h"
#include "encoder/tags/sourcetags.h"
#include "adjustedsettings.h"
#include "mp3check.h"
#include "tempfiles.h"
#include "wavegen.h"
#include "wavetags.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>


#include <atomic>

#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

Q_DECLARE_METATYPE(WaveChunk)
Q_DECLARE_METATYPE(Container)
using Texts = QMap<QString, QString>;
using TrackGainOpt = std::optional<TrackGain>;
Q_DECLARE_METATYPE(TrackGainOpt)

namespace {

const QByteArray kJpeg = jpegBytes(3000);
const QByteArray kPng = pngBytes(1201);
const QByteArray kCover = jpegBytes(777, 'c');

// An MP3's ID3v2 tag as mutagen reads it, as JSON: every frame but APIC keyed as the texts
// columns key it (TXXX and COMM by their description), and the pictures; exit 3 without mutagen.
const char *const kMutagenRead = R"(import json, sys
try:
    from mutagen.id3 import ID3
except ImportError:
    sys.exit(3)
texts, pictures = {}, []
for f in ID3(sys.argv[1], translate=False, load_v1=False).values():
    if f.FrameID == "APIC":
        pictures.append({"type": int(f.type), "mime": f.mime, "desc": f.desc, "data": f.data.hex()})
    else:
        texts.setdefault(f.FrameID + (":" + f.desc if getattr(f, "desc", "") else ""), []).append(str(f))
print(json.dumps({"texts": {key: "\n".join(values) for key, values in texts.items()}, "pictures": pictures}))
)";

struct Encoded
{
    Outcome outcome;
    QStringList warnings;
    Mp3Info mp3;
};

Encoded encode(const EncoderSettings &settings)
{
    Encoded result;
    std::atomic_bool abort(false);
    result.outcome = runEncode(settings, ParallelPlan {}, abort, [](int, qint64) {}, nullptr,
                               [&](const QString &warning) { result.warnings << warning; });
    if (result.outcome)
        result.mp3 = decodeMp3(settings.outputFile);
    return result;
}

} // namespace

class TestTags : public QObject
{
    Q_OBJECT

private:
    TestFolder m_dir;

    QString waveWith(const QList<WaveChunk> &chunks)
    {
        const QString path = m_dir.path(QStringLiteral("tagged.wav"));
        QFile::remove(path);
        if (!writeMusicWave(path, 1) || !appendChunks(path, chunks))
            return {};
        return path;
    }

private slots:
    // Per text: typed, else id3, else INFO, else bext; pictures of the id3 chunk as they are.
    void sourceTags_data()
    {
        QTest::addColumn<QList<WaveChunk>>("chunks");
        QTest::addColumn<QString>("typedTitle");
        QTest::addColumn<QString>("typedGenre");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<Texts>("texts"); // every text frame libmpg123 finds, TXXX by description
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QList<QByteArray>>("pictures");
        QTest::addColumn<QString>("warning"); // a part of the one warning; empty for none

        const WaveChunk info = infoChunk({{"INAM", "Info Title"}, {"IART", "Info Artist"}, {"IPRD", "Info Album"},
                                          {"ICRD", "2019-05-01"}, {"IGNR", "Ambient"}, {"ITRK", "3/12"},
                                          {"ICMT", "Info comment"}, {"IMUS", "Info Composer"}});
        const Texts infoTexts {{"TIT2", "Info Title"}, {"TPE1", "Info Artist"}, {"TALB", "Info Album"},
                               {"TYER", "2019"}, {"TCON", "Ambient"}, {"TRCK", "3/12"}, {"TCOM", "Info Composer"}};
        const WaveChunk id3 = id3Chunk(id3TextFrame("TIT2", "Id3 Title") + id3TextFrame("TCON", "(17)")
                                       + id3TextFrame("TPOS", "1/2") + id3TextFrame("TPE2", "Various")
                                       + id3TextFrame("TSRC", "GBAYE0000001")
                                       + id3TextFrame("TXXX", QByteArray("BARCODE\0" "5012345678900", 21))
                                       + id3PictureFrame(3, "image/jpeg", "Front", kJpeg)
                                       + id3PictureFrame(4, "image/png", "Back side", kPng));
        const WaveChunk bext = bextChunk("Field recording", "Recorder X", "2021-07-14");

        QTest::newRow("INFO") << QList {info} << "" << "" << true << infoTexts << "Info comment"
                              << QList<QByteArray>() << "";
        QTest::newRow("INFO in Windows-1252 and UTF-8")
            << QList {infoChunk({{"INAM", "Caf\xe9 \x80 \x93quoted\x94"}, {"IART", "Bj\xc3\xb6rk"}, {"IPRT", "7"}})}
            << "" << "" << true << Texts {{"TIT2", "Café € “quoted”"}, {"TPE1", "Björk"}, {"TRCK", "7"}} << ""
            << QList<QByteArray>() << "";
        Texts merged = infoTexts;
        merged.insert({{"TIT2", "Id3 Title"}, {"TCON", "Rock"}, {"TPOS", "1/2"}, {"TPE2", "Various"},
                       {"TSRC", "GBAYE0000001"}, {"TXXX:BARCODE", "5012345678900"}});
        QTest::newRow("id3 over INFO, pictures") << QList {info, id3} << "" << "" << true << merged << "Info comment"
                                                 << QList {kJpeg, kPng} << "";
        Texts typed = merged;
        typed.insert({{"TIT2", "Typed"}, {"TCON", "17"}});
        QTest::newRow("typed over id3") << QList {id3, info} << "Typed" << "17" << true << typed << "Info comment"
                                        << QList {kJpeg, kPng} << "";
        QTest::newRow("bext") << QList {bext} << "" << "" << true
                              << Texts {{"TYER", "2021"}, {"TENC", "Recorder X"}} << "Field recording"
                              << QList<QByteArray>() << "";
        Texts infoOverBext = infoTexts;
        infoOverBext.insert("TENC", "Recorder X");
        QTest::newRow("INFO over bext") << QList {bext, info} << "" << "" << true << infoOverBext << "Info comment"
                                        << QList<QByteArray>() << "";
        QTest::newRow("ignored") << QList {info, id3, bext} << "Typed" << "" << false << Texts {{"TIT2", "Typed"}}
                                 << "" << QList<QByteArray>() << "";

        // Damaged and oversized parts: left out, the rest kept, the audio converted.
        QTest::newRow("id3 chunk without a tag")
            << QList {WaveChunk {"id3 ", QByteArray(64, 'x')}, info} << "" << "" << true << infoTexts
            << "Info comment" << QList<QByteArray>() << "holds no ID3v2 tag";
        WaveChunk cut = id3;
        cut.body.truncate(cut.body.size() - 500);
        QTest::newRow("id3 tag longer than its chunk") << QList {cut} << "" << "" << true << Texts() << ""
                                                       << QList<QByteArray>() << "runs past the chunk";
        WaveChunk garbage = id3Chunk(QByteArray(40, '\x7f'));
        QTest::newRow("id3 frames unreadable") << QList {garbage} << "" << "" << true << Texts() << ""
                                               << QList<QByteArray>() << "id3 chunk is damaged";
        WaveChunk oversized {"LIST", "INFO" + infoField("INAM", 4, "Kept") + infoField("IART", 5000, "Lost")};
        QTest::newRow("INFO field longer than the chunk") << QList {oversized} << "" << "" << true
                                                          << Texts {{"TIT2", "Kept"}} << "" << QList<QByteArray>()
                                                          << "'IART' is longer";
        WaveChunk unpadded {"LIST", "INFO" + infoField("INAM", 3, "Odd", false) + infoField("IART", 4, "Pad")};
        QTest::newRow("INFO odd length without its pad byte")
            << QList {unpadded} << "" << "" << true << Texts {{"TIT2", "Odd"}, {"TPE1", "Pad"}} << ""
            << QList<QByteArray>() << "";
        QTest::newRow("bext shorter than its fixed part")
            << QList {bextChunk("Short", "Nobody", "2000-01-01", 300)} << "" << "" << true << Texts() << ""
            << QList<QByteArray>() << "shorter than its fixed part";
        WaveChunk past = info;
        past.declaredSize = 1 << 20;
        QTest::newRow("chunk past the end of the file") << QList {bext, past} << "" << "" << true
                                                        << Texts {{"TYER", "2021"}, {"TENC", "Recorder X"}}
                                                        << "Field recording" << QList<QByteArray>()
                                                        << "runs past the end of the file";
        const QByteArray huge = jpegBytes(50 << 20, 'h');
        QTest::newRow("50 MB picture") << QList {id3Chunk(id3PictureFrame(3, "image/jpeg", "", huge)
                                                          + id3PictureFrame(4, "image/png", "", kPng))}
                                       << "" << "" << true << Texts() << "" << QList {kPng} << "50.0 MB";
    }

    void sourceTags()
    {
        QFETCH(QList<WaveChunk>, chunks);
        QFETCH(QString, typedTitle);
        QFETCH(QString, typedGenre);
        QFETCH(bool, keep);
        QFETCH(Texts, texts);
        QFETCH(QString, comment);
        QFETCH(QList<QByteArray>, pictures);
        QFETCH(QString, warning);

        EncoderSettings settings;
        settings.inputFile = waveWith(chunks);
        QVERIFY(!settings.inputFile.isEmpty());
        settings.outputFile = m_dir.path(QStringLiteral("tagged.mp3"));
        settings.tagTitle = typedTitle;
        settings.tagGenre = typedGenre;
        settings.sourceTags = keep;
        const Encoded run = encode(settings);
        QVERIFY2(run.outcome, qPrintable(run.outcome.message));
        QVERIFY2(run.mp3.ok, qPrintable(run.mp3.error));
        QCOMPARE(run.mp3.frames, qint64(44100));
        QCOMPARE(run.mp3.firstFrameAt, run.mp3.id3v2Bytes);
        Texts found = run.mp3.id3v2Text;
        for (const auto &[description, text] : run.mp3.id3v2Extra.asKeyValueRange()) {
            if (!description.startsWith(QLatin1String("REPLAYGAIN_")))
                found.insert("TXXX:" + description, text);
        }
        QCOMPARE(found, texts);
        QCOMPARE(run.mp3.id3v2Comment, comment);
        QCOMPARE(run.mp3.pictures.size(), std::size_t(pictures.size()));
        for (qsizetype i = 0; i < pictures.size(); ++i)
            QVERIFY2(run.mp3.pictures[i].data == pictures[i], qPrintable(QString::number(i)));
        if (warning.isEmpty()) {
            QCOMPARE(run.warnings, QStringList());
        } else {
            QCOMPARE(run.warnings.size(), 1);
            QVERIFY2(run.warnings.first().contains(warning), qPrintable(run.warnings.first()));
        }
        // ID3v1 has the Latin-1 texts, the comment and the track where they fit.
        if (texts.contains("TRCK"))
            QCOMPARE(run.mp3.id3v1.track, texts["TRCK"].section('/', 0, 0).toInt());
        QCOMPARE(run.mp3.id3v1.comment, comment);
    }

    // A FLAC's Vorbis comment by the names tag editors give, under the typed title, and its
    // picture blocks as they are; an AIFF's ID3 chunk. ReplayGain's comments are not taken.
    void otherFormats_data()
    {
        QTest::addColumn<Container>("container");
        QTest::addColumn<QStringList>("properties"); // as TagLib writes them
        QTest::addColumn<Texts>("texts"); // every text frame, TXXX by description, and COMM
        QTest::newRow("FLAC, the usual names")
            << Container::Flac
            << QStringList {"TITLE=Own", "ARTIST=A", "ARTIST=B", "ALBUM=Album", "ALBUM ARTIST=Band",
                            "TRACKNUMBER=3", "TRACKTOTAL=12", "DISCNUMBER=1", "TOTALDISCS=2", "DATE=2019-05-01",
                            "GENRE=Jazz", "COMPOSER=Composer", "DESCRIPTION=Described", "ISRC=GBAYE0000001",
                            "BARCODE=5012345678900", "REPLAYGAIN_TRACK_GAIN=-7.00 dB", "ENCODER=Lavf59"}
            << Texts {{"TIT2", "Typed"}, {"TPE1", "A; B"}, {"TALB", "Album"}, {"TPE2", "Band"}, {"TRCK", "3/12"},
                      {"TPOS", "1/2"}, {"TYER", "2019"}, {"TCON", "Jazz"}, {"TCOM", "Composer"},
                      {"TSRC", "GBAYE0000001"}, {"TXXX:BARCODE", "5012345678900"}, {"COMM", "Described"}};
        QTest::newRow("FLAC, the other names")
            << Container::Flac
            << QStringList {"ALBUMARTIST=First", "ALBUM ARTIST=Second", "COMMENT=Comment", "DESCRIPTION=Described",
                            "TRACKNUMBER=4/9", "TOTALTRACKS=10", "DISCNUMBER=2", "DISCTOTAL=3", "DATE=1999"}
            << Texts {{"TIT2", "Typed"}, {"TPE2", "First"}, {"TRCK", "4/9"}, {"TPOS", "2/3"}, {"TYER", "1999"},
                      {"COMM", "Comment"}};
        QTest::newRow("AIFF") << Container::Aiff << QStringList {"ARTIST=Someone", "TRACKNUMBER=5/7"}
                              << Texts {{"TIT2", "Typed"}, {"TPE1", "Someone"}, {"TRCK", "5/7"}};
    }

    void otherFormats()
    {
        QFETCH(Container, container);
        QFETCH(QStringList, properties);
        QFETCH(Texts, texts);
        const bool flac = container == Container::Flac;
        const QString input = m_dir.path(flac ? QStringLiteral("own.flac") : QStringLiteral("own.aif"));
        QVERIFY(writeWave(input, {.frames = 44100, .container = container}));
        QVERIFY(tagWithTagLib(input, properties, flac ? kPng : QByteArray()));
        EncoderSettings settings = settingsFor(input, m_dir.path(QStringLiteral("own.mp3")), {});
        settings.tagTitle = QStringLiteral("Typed");
        settings.replayGain = false; // no figures of its own: none of the source's either
        const Encoded run = encode(settings);
        QVERIFY2(run.outcome, qPrintable(run.outcome.message));
        Texts found = run.mp3.id3v2Text;
        for (const auto &[description, text] : run.mp3.id3v2Extra.asKeyValueRange())
            found.insert("TXXX:" + description, text);
        if (!run.mp3.id3v2Comment.isEmpty())
            found.insert("COMM", run.mp3.id3v2Comment);
        QCOMPARE(found, texts);
        QCOMPARE(run.mp3.pictures.size(), std::size_t(flac ? 1 : 0));
        for (const Mp3Picture &p : run.mp3.pictures)
            QVERIFY(p.type == 4 && p.mimeType == "image/png" && p.description == "Back side" && p.data == kPng);

        // The same tag as two readers users have read it: a fault our reader shares with the
        // writer shows there.
        QStringList missing;
        QProcess mutagen;
        mutagen.start(QStringLiteral("/usr/bin/python3"), {"-c", kMutagenRead, settings.outputFile});
        QVERIFY(!mutagen.waitForStarted() || mutagen.waitForFinished(60000));
        if (mutagen.error() == QProcess::FailedToStart || mutagen.exitCode() == 3) {
            missing << QStringLiteral("mutagen");
        } else {
            QVERIFY2(mutagen.exitCode() == 0, mutagen.readAllStandardError().constData());
            const QJsonObject read = QJsonDocument::fromJson(mutagen.readAllStandardOutput()).object();
            Texts mutagenTexts;
            for (const auto &[id, text] : read["texts"].toObject().toVariantMap().asKeyValueRange())
                mutagenTexts.insert(id, text.toString());
            QCOMPARE(mutagenTexts, texts);
            const QJsonArray pictures = read["pictures"].toArray();
            QCOMPARE(pictures.size(), flac ? 1 : 0);
            for (const QJsonValue p : pictures)
                QVERIFY(p["type"] == 4 && p["mime"] == "image/png" && p["desc"] == "Back side"
                        && QByteArray::fromHex(p["data"].toString().toLatin1()) == kPng);
        }
        if (QStandardPaths::findExecutable(QStringLiteral("eyeD3")).isEmpty()) {
            missing << QStringLiteral("eyeD3");
        } else {
            const QString images = m_dir.freshDir(QStringLiteral("images"));
            QProcess eyed3;
            eyed3.start(QStringLiteral("eyeD3"),
                        {"--no-config", "--no-color", "--write-images=" + images, settings.outputFile});
            QVERIFY(eyed3.waitForFinished(60000));
            const QByteArray complaints = eyed3.readAllStandardError();
            QVERIFY2(eyed3.exitCode() == 0 && complaints.isEmpty(), complaints.constData());
            Texts shown;
            const QRegularExpression line(QStringLiteral("^(title|artist|album|track): ([^\t\n]*)"),
                                          QRegularExpression::MultilineOption);
            for (const QRegularExpressionMatch &m : line.globalMatch(QString::fromUtf8(eyed3.readAllStandardOutput())))
                shown.insert(m.captured(1), m.captured(2));
            QCOMPARE(shown, (Texts {{"title", texts.value("TIT2")}, {"artist", texts.value("TPE1")},
                                    {"album", texts.value("TALB")}, {"track", texts.value("TRCK")}}));
            QCOMPARE(entriesOf(images), flac ? QStringList {"BACK_COVER.png"} : QStringList {});
            QFile picture(images + "/BACK_COVER.png");
            QVERIFY(!flac || (picture.open(QIODevice::ReadOnly) && picture.readAll() == kPng));
        }
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing.join(QStringLiteral(" and ")) + QStringLiteral(" not installed")));
    }

    // The chunk list of each container the tags are read from: a data chunk's size through
    // ds64 leads to the INFO chunk after it.
    void containers_data()
    {
        QTest::addColumn<QByteArray>("wave");
        QTest::addColumn<QString>("title");
        const QByteArray fmt = chunk("fmt ", fmtBody(1, 2, 44100, 16));
        const QByteArray audio(400, '\x11');
        const WaveChunk info = infoChunk({{"INAM", "Found"}});
        const QByteArray after = chunk(info.id, info.body);
        const auto ds64 = [](quint32 data) {
            return chunk("ds64", le32(0) + le32(0) + le32(data) + le32(0) + le32(100) + le32(0) + le32(0));
        };
        const QByteArray rf64Chunks = fmt + chunk("data", audio, 0xFFFFFFFF) + after;
        QTest::newRow("RIFF") << riff(fmt + chunk("data", audio) + after) << "Found";
        QTest::newRow("RF64") << "RF64" + le32(0xFFFFFFFF) + "WAVE" + ds64(400) + rf64Chunks << "Found";
        QTest::newRow("BW64") << "BW64" + le32(0xFFFFFFFF) + "WAVE" + ds64(400) + rf64Chunks << "Found";
        QTest::newRow("RF64 without ds64: the data runs to the end")
            << "RF64" + le32(0xFFFFFFFF) + "WAVE" + rf64Chunks << "";
        QTest::newRow("RIFX: not read") << "RIFX" + be32(0) + "WAVE" + chunk("LIST", info.body) << "";
    }

    void containers()
    {
        QFETCH(QByteArray, wave);
        QFETCH(QString, title);
        const SourceTagRead read = readSourceTags(wave);
        QCOMPARE(read.tags.info.text(TagKey::Title), title);
        QCOMPARE(read.warnings, QStringList());
    }

    // Picture type, MIME type and description as the source gives them; a cover as the front.
    void pictures_data()
    {
        QTest::addColumn<QString>("cover"); // a file written with kCover, or empty
        QTest::addColumn<QList<int>>("types");
        QTest::addColumn<QStringList>("mimes");
        QTest::addColumn<QStringList>("descriptions");
        QTest::addColumn<QList<QByteArray>>("data");
        QTest::newRow("source") << "" << QList {3, 4} << QStringList {"image/jpeg", "image/png"}
                                << QStringList {"Front", "Back side"} << QList {kJpeg, kPng};
        QTest::newRow("cover replaces the front") << "given.jpg" << QList {3, 4}
                                                  << QStringList {"image/jpeg", "image/png"}
                                                  << QStringList {"", "Back side"} << QList {kCover, kPng};
    }

    void pictures()
    {
        QFETCH(QString, cover);
        QFETCH(QList<int>, types);
        QFETCH(QStringList, mimes);
        QFETCH(QStringList, descriptions);
        QFETCH(QList<QByteArray>, data);
        EncoderSettings settings;
        settings.inputFile = waveWith({id3Chunk(id3PictureFrame(3, "image/jpeg", "Front", kJpeg)
                                                + id3PictureFrame(4, "image/png", "Back side", kPng))});
        settings.outputFile = m_dir.path(QStringLiteral("pictures.mp3"));
        if (!cover.isEmpty()) {
            settings.coverFile = m_dir.path(cover);
            QFile file(settings.coverFile);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kCover) == kCover.size());
        }
        const Encoded run = encode(settings);
        QVERIFY2(run.outcome, qPrintable(run.outcome.message));
        QCOMPARE(run.mp3.pictures.size(), std::size_t(types.size()));
        for (qsizetype i = 0; i < types.size(); ++i) {
            const Mp3Picture &p = run.mp3.pictures[i];
            QCOMPARE(p.type, types[i]);
            QCOMPARE(p.mimeType, mimes[i]);
            QCOMPARE(p.description, descriptions[i]);
            QVERIFY(p.data == data[i]);
        }
    }

    // Without a picture of its own, the folder's: cover, folder, front, each .jpg then .png, in
    // any letter case, the first that is a JPEG or PNG of at most 16 MB.
    void folderCover_data()
    {
        QTest::addColumn<QStringList>("files"); // in the input's folder; NAME:bad is no picture, NAME:huge 17 MB
        QTest::addColumn<QString>("setting");   // own: a picture of its own; given: given.png as the cover; raw
        QTest::addColumn<QString>("picked");    // whose bytes the MP3's one picture has; empty: none
        QTest::newRow("any letter case") << QStringList {"a.png", "Folder.PNG"} << "" << "Folder.PNG";
        QTest::newRow("cover over folder, .jpg over .png")
            << QStringList {"folder.jpg", "cover.png", "FRONT.jpg", "Cover.jpg"} << "" << "Cover.jpg";
        QTest::newRow("no picture: the next, folder over front")
            << QStringList {"cover.jpg:bad", "front.jpg", "folder.png"} << "" << "folder.png";
        QTest::newRow("too large: the next") << QStringList {"cover.jpg:huge", "front.png"} << "" << "front.png";
        QTest::newRow("its own picture wins") << QStringList {"cover.jpg"} << "own" << "own";
        QTest::newRow("a cover file wins") << QStringList {"cover.jpg", "given.png"} << "given" << "given.png";
        QTest::newRow("raw PCM") << QStringList {"cover.jpg"} << "raw" << "";
    }

    void folderCover()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, setting);
        QFETCH(QString, picked);
        const QString dir = m_dir.freshDir(QStringLiteral("folder"));
        QMap<QString, QByteArray> written {{"own", kJpeg}};
        for (const QString &file : std::as_const(files)) {
            const char seed = char('a' + written.size());
            const QByteArray &bytes = written[file.section(':', 0, 0)] =
                file.endsWith(":bad")    ? "GIF89a"
                : file.endsWith(":huge") ? jpegBytes(17 << 20)
                                         : (file.endsWith("png", Qt::CaseInsensitive) ? pngBytes : jpegBytes)(500, seed);
            QFile out(dir + '/' + file.section(':', 0, 0));
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        }
        EncoderSettings settings;
        settings.inputFile = dir + "/in.wav";
        settings.outputFile = dir + "/in.mp3";
        QVERIFY(writeMusicWave(settings.inputFile, 1));
        if (setting == "own") // a picture of any type
            QVERIFY(appendChunks(settings.inputFile, {id3Chunk(id3PictureFrame(4, "image/jpeg", "", kJpeg))}));
        settings.coverFile = setting == "given" ? dir + "/given.png" : QString();
        settings.rawPcm = setting == "raw";
        const Encoded run = encode(settings);
        QVERIFY2(run.outcome, qPrintable(run.outcome.message));
        QCOMPARE(run.mp3.pictures.size(), std::size_t(picked.isEmpty() ? 0 : 1));
        QVERIFY(picked.isEmpty() || run.mp3.pictures[0].data == written[picked]);
        const QString warning = "The folder's picture " + dir + "/cover.jpg of 17.0 MB is left out: pictures are kept up to 16 MB.";
        QCOMPARE(run.warnings, files.contains("cover.jpg:huge") ? QStringList {warning} : QStringList());
    }

    // What keeps the input's tags out: SkipTags, raw PCM, a cover that is no picture.
    void withoutSourceTags_data()
    {
        QTest::addColumn<bool>("skip");
        QTest::addColumn<bool>("raw");
        QTest::addColumn<QByteArray>("cover");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("id3v2");
        QTest::newRow("SkipTags") << true << false << QByteArray() << true << false;
        QTest::newRow("raw PCM, typed only") << false << true << QByteArray() << true << true;
        QTest::newRow("cover not a picture") << false << false << QByteArray("GIF89a....") << false << false;
        QTest::newRow("PNG cover") << false << false << kPng << true << true;
    }

    void withoutSourceTags()
    {
        QFETCH(bool, skip);
        QFETCH(bool, raw);
        QFETCH(QByteArray, cover);
        QFETCH(bool, ok);
        QFETCH(bool, id3v2);
        EncoderSettings settings;
        settings.inputFile = waveWith({infoChunk({{"INAM", "Info Title"}, {"IART", "Info Artist"}})});
        settings.outputFile = m_dir.path(QStringLiteral("plain.mp3"));
        QFile::remove(settings.outputFile);
        settings.tagArtist = QStringLiteral("Typed");
        settings.skipTags = skip;
        settings.rawPcm = raw;
        if (!cover.isEmpty()) {
            settings.coverFile = m_dir.path(QStringLiteral("cover.bin"));
            QFile file(settings.coverFile);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(cover) == cover.size());
        }
        const Encoded run = encode(settings);
        QCOMPARE(bool(run.outcome), ok);
        if (!ok) {
            QVERIFY(run.outcome.message.contains(QLatin1String("JPEG or PNG")));
            QVERIFY(!QFile::exists(settings.outputFile));
            return;
        }
        QCOMPARE(run.mp3.hasId3v2, id3v2);
        if (id3v2) {
            Texts expected {{"TPE1", "Typed"}};
            if (!raw)
                expected.insert("TIT2", "Info Title");
            QCOMPARE(run.mp3.id3v2Text, expected);
            QCOMPARE(run.mp3.pictures.size(), std::size_t(cover.isEmpty() ? 0 : 1));
        }
    }

    // The figures asked for after the audio, written into the tag ahead of it; the tag keeps
    // its size, and without a source it is the one without figures. An MP3 without tag texts
    // gets no ID3v2 tag for the figures alone.
    void trackGain_data()
    {
        QTest::addColumn<bool>("source");
        QTest::addColumn<TrackGainOpt>("gain");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("gainText"); // empty: no figures
        QTest::addColumn<QString>("peakText");
        QTest::newRow("no source") << false << TrackGainOpt() << "Song" << "" << "";
        QTest::newRow("nothing measured") << true << TrackGainOpt() << "Song" << "" << "";
        QTest::newRow("negative") << true << TrackGainOpt(TrackGain {-7.3249, 0.9876543}) << "Song" << "-7.32 dB"
                                  << "0.987654";
        QTest::newRow("positive") << true << TrackGainOpt(TrackGain {1.2, 0.25}) << "Song" << "+1.20 dB"
                                  << "0.250000";
        QTest::newRow("no texts: a tag of their own") << true << TrackGainOpt(TrackGain {1.2, 0.25}) << "" << "+1.20 dB"
                                                      << "0.250000";
        QTest::newRow("peak above full scale") << true << TrackGainOpt(TrackGain {-12.345, 1.5}) << "Лето"
                                               << "-12.35 dB" << "1.500000";
        QTest::newRow("wider than the room") << true << TrackGainOpt(TrackGain {-12345.6, 1e6}) << "Song" << ""
                                             << "";
    }

    void trackGain()
    {
        QFETCH(bool, source);
        QFETCH(TrackGainOpt, gain);
        QFETCH(QString, title);
        QFETCH(QString, gainText);
        QFETCH(QString, peakText);

        // Audio frames of a real MP3 without tags or info frame.
        EncoderSettings plain;
        plain.inputFile = m_dir.musicWave(44100, 2, 1);
        plain.outputFile = m_dir.path(QStringLiteral("frames.mp3"));
        plain.skipTags = true;
        plain.writeInfoTag = false;
        QVERIFY(encode(plain).outcome);
        const QByteArray audio = contentOf(plain.outputFile);
        QVERIFY(!audio.isEmpty());

        TagSet set;
        set.setText(TagKey::Title, title);
        const std::optional<Mp3Tags> tags = Mp3Tags::render(set, [](const QString &) { return 255; });
        QVERIFY(tags);
        int asked = 0;
        const QString path = m_dir.path(QStringLiteral("gain.mp3"));
        Mp3Output output(path);
        QVERIFY(output.open());
        Mp3Layout layout {*tags, 0, 0, {}};
        if (source)
            layout.trackGain = [&] {
                ++asked;
                return gain;
            };
        std::atomic_bool abort(false);
        const Outcome written = writeMp3File(
            output, layout,
            [&] { return output.write(reinterpret_cast<const unsigned char *>(audio.constData()), audio.size()); },
            [](std::vector<unsigned char> &) { return Outcome::success(); }, abort);
        QVERIFY2(written, qPrintable(written.message));
        const bool room = source;
        QCOMPARE(asked, room ? 1 : 0);

        const QByteArray file = contentOf(path);
        const QByteArray &expectedTag = room ? tags->id3v2WithRoom() : tags->id3v2();
        QCOMPARE(file.size(), expectedTag.size() + audio.size() + tags->id3v1().size());
        QVERIFY(file.mid(expectedTag.size(), audio.size()) == audio);
        if (!room)
            QVERIFY(file.left(expectedTag.size()) == expectedTag);
        const Mp3Info mp3 = decodeMp3(path);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QCOMPARE(mp3.id3v2Bytes, qint64(expectedTag.size()));
        QCOMPARE(mp3.firstFrameAt, mp3.id3v2Bytes);
        QCOMPARE(mp3.id3v2Text.value("TIT2"), title);
        if (gainText.isEmpty()) {
            QVERIFY(mp3.id3v2Extra.isEmpty());
        } else {
            QCOMPARE(mp3.id3v2Extra.value("REPLAYGAIN_TRACK_GAIN"), gainText);
            QCOMPARE(mp3.id3v2Extra.value("REPLAYGAIN_TRACK_PEAK"), peakText);
        }
    }

    // The figures read back from a tag: ours as id3render writes them, a v2.4 tag (whose frame
    // sizes are synchsafe) with a long frame before them, and tags without a whole pair.
    void readGains_data()
    {
        QTest::addColumn<QByteArray>("tag");
        QTest::addColumn<TrackGainOpt>("track");
        QTest::addColumn<TrackGainOpt>("album");
        TagSet set;
        set.setText(TagKey::Title, QStringLiteral("Song"));
        const std::optional<Mp3Tags> ours = Mp3Tags::render(set, [](const QString &) { return 255; }, true);
        QVERIFY(ours);
        QTest::newRow("ours, track and album")
            << ours->id3v2Final(TrackGain {-7.3249, 0.9876543}, TrackGain {-5.5, 1.25})
            << TrackGainOpt(TrackGain {-7.32, 0.987654}) << TrackGainOpt(TrackGain {-5.5, 1.25});
        QTest::newRow("ours, the track's alone") << ours->id3v2Final(TrackGain {1.2, 0.25}, std::nullopt)
                                                 << TrackGainOpt(TrackGain {1.2, 0.25}) << TrackGainOpt();
        QTest::newRow("ours, no figures") << ours->id3v2Final(std::nullopt, std::nullopt) << TrackGainOpt()
                                          << TrackGainOpt();
        const auto tagged = [](TagLib::ID3v2::Version version, bool peaks) {
            TagLib::ID3v2::Tag tag;
            tag.setTitle(TagLib::String(std::string(300, 'x')));
            for (const auto &[name, value] : {std::pair {"REPLAYGAIN_TRACK_GAIN", "-3.00 dB"},
                                              std::pair {"REPLAYGAIN_TRACK_PEAK", "0.500000"},
                                              std::pair {"REPLAYGAIN_ALBUM_GAIN", "+2.50 dB"},
                                              std::pair {"REPLAYGAIN_ALBUM_PEAK", "1.100000"}}) {
                if (peaks || !QByteArray(name).endsWith("PEAK"))
                    tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(name, TagLib::StringList(value)));
            }
            const TagLib::ByteVector bytes = tag.render(version);
            return QByteArray(bytes.data(), bytes.size());
        };
        QTest::newRow("v2.4, a long frame first") << tagged(TagLib::ID3v2::v4, true)
                                                  << TrackGainOpt(TrackGain {-3.0, 0.5})
                                                  << TrackGainOpt(TrackGain {2.5, 1.1});
        QTest::newRow("v2.3, a long frame first") << tagged(TagLib::ID3v2::v3, true)
                                                  << TrackGainOpt(TrackGain {-3.0, 0.5})
                                                  << TrackGainOpt(TrackGain {2.5, 1.1});
        QTest::newRow("gains without peaks") << tagged(TagLib::ID3v2::v4, false) << TrackGainOpt() << TrackGainOpt();
        QTest::newRow("no tag") << QByteArray(64, 'x') << TrackGainOpt() << TrackGainOpt();
    }

    void readGains()
    {
        QFETCH(QByteArray, tag);
        QFETCH(TrackGainOpt, track);
        QFETCH(TrackGainOpt, album);
        const Mp3Gains read = ::readGains(tag);
        for (const auto &[got, want] : {std::pair {read.track, track}, std::pair {read.album, album}}) {
            QCOMPARE(got.has_value(), want.has_value());
            if (want) {
                QCOMPARE(got->gainDb, want->gainDb);
                QCOMPARE(got->peak, want->peak);
            }
        }
    }

    // sonovert-encode says on standard error what it left out, and still converts.
    void cliWarning()
    {
        WaveChunk past = infoChunk({{"INAM", "x"}});
        past.declaredSize = 4096;
        const QString input = waveWith({bextChunk("d", "o", "2000-01-01", 100), past});
        // One file, then the same as a batch, which names the file.
        const QString batchFolder = m_dir.path(QStringLiteral("cli-batch"));
        const QList<QPair<QStringList, QString>> runs {
            {{input, m_dir.path(QStringLiteral("cli.mp3"))}, QString()},
            {{input, QStringLiteral("-o"), batchFolder}, input + QStringLiteral(": ")}};
        for (const auto &[args, named] : runs) {
            QProcess cli;
            cli.start(QStringLiteral(SONOVERT_ENCODE), args);
            QVERIFY(cli.waitForFinished(60000));
            QCOMPARE(cli.exitCode(), 0);
            const QString err = QString::fromUtf8(cli.readAllStandardError());
            QVERIFY2(err.contains("warning: " + named + "The input's bext chunk is shorter"), qPrintable(err));
            QVERIFY2(err.contains("warning: " + named + "The input's 'LIST' chunk runs past"), qPrintable(err));
        }
        QVERIFY(decodeMp3(m_dir.path(QStringLiteral("cli.mp3"))).ok);
        QVERIFY(decodeMp3(batchFolder + '/' + QFileInfo(input).completeBaseName() + ".mp3").ok);
    }
};

QTEST_GUILESS_MAIN(TestTags)
#include "tst_tags.moc"
