// MP3s for a device: ID3 versions, covers made small and baseline, a top sample rate, the gain
// applied to the samples, and the command line's options and bundles for them.
#include "adjustedsettings.h"
#include "cli/commandline.h"
#include "cli/deviceoptions.h"
#include "cli/disknames.h"
#include "encoder/encoderun.h"
#include "encoder/input/loudnessmeter.h"
#include "encoder/lame/lameinstance.h"
#include "encoder/tags/coverpixels.h"
#include "encoder/tags/coversize.h"
#include "mp3check.h"
#include "wavegen.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>
#include <sndfile.h>
#include <png.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>

namespace {

RgbImage gradient(int width, int height)
{
    RgbImage image {width, height, std::vector<unsigned char>(std::size_t(width * height * 3))};
    for (std::size_t i = 0; i < image.rgb.size(); ++i)
        image.rgb[i] = static_cast<unsigned char>((i * 7 / 3) % 256);
    return image;
}

// A progressive JPEG, as scans and phones' pictures often are.
QByteArray progressiveJpeg(int width, int height)
{
    const RgbImage image = gradient(width, height);
    jpeg_compress_struct info {};
    jpeg_error_mgr error {};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<unsigned char *>(image.rgb.data()) + std::size_t(info.next_scanline) * std::size_t(width) * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    QByteArray out(reinterpret_cast<const char *>(buffer), qsizetype(size));
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

QByteArray pngOf(int width, int height)
{
    const RgbImage image = gradient(width, height);
    png_image png {};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(width);
    png.height = png_uint_32(height);
    png.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&png, nullptr, &size, 0, image.rgb.data(), 0, nullptr);
    QByteArray out(qsizetype(size), '\0');
    png_image_write_to_memory(&png, out.data(), &size, 0, image.rgb.data(), 0, nullptr);
    return out.left(qsizetype(size));
}

// The loudness in LUFS of the decoded MP3s taken together, and their highest sample.
std::pair<double, double> loudnessOf(const QStringList &mp3s)
{
    std::vector<std::unique_ptr<LoudnessMeter>> meters;
    std::vector<const LoudnessMeter *> all;
    for (const QString &mp3 : mp3s) {
        const Mp3Info info = decodeMp3(mp3, true);
        auto &meter = meters.emplace_back(std::make_unique<LoudnessMeter>(info.channels, info.rate, false));
        meter->add(info.samples.data(), info.frames);
        all.push_back(meter.get());
    }
    const std::optional<TrackGain> figures = LoudnessMeter::figures(all);
    return figures ? std::pair(-18.0 - figures->gainDb, 20 * std::log10(figures->peak)) : std::pair(0.0, 0.0);
}

// Pink noise (Paul Kellet's filter over a fixed white noise), the same in both channels, about
// -30 LUFS: wideband, and coded with bits to spare at 128 kbit/s (little noise of the coding's own).
bool writePinkNoise(const QString &path, double seconds, int rate)
{
    SF_INFO info {};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::vector<float> samples(static_cast<std::size_t>(std::llround(seconds * rate)) * 2);
    std::uint32_t random = 12345;
    double b[3] = {};
    for (std::size_t i = 0; i < samples.size(); i += 2) {
        random = random * 1664525u + 1013904223u;
        const double white = double(random) / 4294967296.0 * 2 - 1;
        b[0] = 0.99765 * b[0] + white * 0.0990460;
        b[1] = 0.96300 * b[1] + white * 0.2965164;
        b[2] = 0.57000 * b[2] + white * 1.0526913;
        samples[i] = samples[i + 1] = float(0.02 * (b[0] + b[1] + b[2] + white * 0.1848));
    }
    const sf_count_t frames = sf_count_t(samples.size() / 2);
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    const bool written = file && sf_writef_float(file, samples.data(), frames) == frames;
    return file && sf_close(file) == 0 && written;
}

} // namespace

class TestDevice : public QObject
{
    Q_OBJECT

private slots:
    void id3Forms_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("v1");
        QTest::addColumn<QByteArray>("yearFrame");
        QTest::newRow("2.3 and v1") << 3 << true << QByteArray("TYER");
        QTest::newRow("2.4 alone") << 4 << false << QByteArray("TDRC");
    }
    void id3Forms()
    {
        QFETCH(int, version);
        QFETCH(bool, v1);
        QFETCH(QByteArray, yearFrame);
        TagSet tags;
        tags.setText(TagKey::Title, QStringLiteral("Ωmega Sång"));
        tags.setText(TagKey::Year, QStringLiteral("2021"));
        tags.setText(TagKey::Genre, QStringLiteral("Rock"));
        tags.setText(TagKey::Comment, QString(300, QLatin1Char('x'))); // past 127 bytes: synchsafe differs
        const std::optional<Mp3Tags> rendered =
            Mp3Tags::render(tags, id3v1GenreNumber, false, Id3Form {.version = version, .v1 = v1});
        QVERIFY(rendered);
        const QByteArray tag = rendered->id3v2Final(TrackGain {-3.5, 0.5});
        QCOMPARE(int(tag[3]), version);
        QVERIFY(tag.contains(yearFrame));
        QCOMPARE(rendered->id3v1().size(), v1 ? 128 : 0);
        // TagLib reads every frame back, the one after the long comment too.
        TagLib::ByteVector bytes(tag.constData(), unsigned(tag.size()));
        TagLib::ByteVectorStream stream(bytes);
        TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance());
        QVERIFY(file.ID3v2Tag());
        QCOMPARE(QString::fromStdString(file.ID3v2Tag()->title().to8Bit(true)), QStringLiteral("Ωmega Sång"));
        QCOMPARE(file.ID3v2Tag()->year(), 2021u);
        QCOMPARE(file.ID3v2Tag()->frameListMap()["TXXX"].size(), 2u);
    }

    void jpegFrames_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("marker");
        QTest::addColumn<int>("width");
        const QByteArray app0("\xff\xe0\x00\x04\x00\x00", 6);
        QTest::newRow("baseline") << QByteArray("\xff\xd8", 2) + app0 + QByteArray("\xff\xc0\x00\x0b\x08\x01\x2c\x01\xf4\x01", 10) << 0xc0 << 500;
        QTest::newRow("progressive, fill bytes") << QByteArray("\xff\xd8\xff\xff\xc2\x00\x0b\x08\x00\x10\x00\x20\x03", 13) << 0xc2 << 32;
        QTest::newRow("DHT is no frame") << QByteArray("\xff\xd8\xff\xc4\x00\x02\xff\xc1\x00\x0b\x08\x00\x01\x00\x02\x03", 16) << 0xc1 << 2;
        QTest::newRow("a scan first") << QByteArray("\xff\xd8\xff\xda\x00\x02", 6) << 0 << 0;
        QTest::newRow("a PNG") << QByteArray("\x89PNG\r\n\x1a\n", 8) << 0 << 0;
        QTest::newRow("cut short") << QByteArray("\xff\xd8\xff\xc0\x00\x0b", 6) << 0 << 0;
    }
    void jpegFrames()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, marker);
        QFETCH(int, width);
        const std::optional<JpegFrame> frame = jpegFrameOf(data);
        QCOMPARE(frame ? frame->marker : 0, marker);
        QCOMPARE(frame ? frame->width : 0, width);
    }

    void scaleDown_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("gray"); // one row of source pixels
        QTest::addColumn<int>("to");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("two to one, rounded up") << 2 << QByteArray("\x00\xff", 2) << 1 << QByteArray("\x80", 1);
        QTest::newRow("three to two, by area") << 3 << QByteArray("\x00\x5a\xb4", 3) << 2 << QByteArray("\x1e\x96", 2);
        QTest::newRow("five to two") << 5 << QByteArray("\x0a\x14\x1e\x28\x32", 5) << 2 << QByteArray("\x12\x2a", 2);
    }
    void scaleDown()
    {
        QFETCH(int, width);
        QFETCH(QByteArray, gray);
        QFETCH(int, to);
        QFETCH(QByteArray, expected);
        RgbImage image {width, 1, {}};
        for (const char value : gray)
            image.rgb.insert(image.rgb.end(), 3, static_cast<unsigned char>(value));
        const RgbImage scaled = ::scaleDown(image, to, 1);
        QCOMPARE(scaled.width, to);
        for (int x = 0; x < to; ++x)
            QCOMPARE(int(scaled.rgb[std::size_t(x) * 3 + 1]), int(static_cast<unsigned char>(expected[x])));
    }

    void covers_data()
    {
        QTest::addColumn<QByteArray>("picture");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("width"); // of the JPEG made; 0: the picture left out
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("kept"); // byte for byte
        QTest::newRow("progressive, larger") << progressiveJpeg(1200, 800) << 500 << 500 << 333 << false;
        QTest::newRow("baseline, smaller") << encodeBaselineJpeg(gradient(400, 400), 80) << 500 << 400 << 400 << true;
        QTest::newRow("baseline, taller") << encodeBaselineJpeg(gradient(300, 900), 80) << 300 << 100 << 300 << false;
        QTest::newRow("PNG") << pngOf(640, 480) << 500 << 500 << 375 << false;
        QTest::newRow("damaged") << QByteArray("\xff\xd8\xff\xc2\x00\x0b\x08\x00\x10\x00\x20\x03 and no more", 25) << 500 << 0 << 0 << false;
        QTest::newRow("none") << pngOf(64, 64) << int(DeviceSettings::kNoCovers) << 0 << 0 << false;
    }
    void covers()
    {
        QFETCH(QByteArray, picture);
        QFETCH(int, size);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, kept);
        std::vector<Picture> pictures {Picture {kFrontCover, QStringLiteral("image/png"), QString(), picture}};
        QStringList warnings;
        fitPictures(pictures, size, warnings);
        QCOMPARE(pictures.size(), std::size_t(width > 0 ? 1 : 0));
        QCOMPARE(warnings.size(), width == 0 && size > 0 ? 1 : 0);
        if (width == 0)
            return;
        const std::optional<JpegFrame> frame = jpegFrameOf(pictures[0].data);
        QVERIFY(frame);
        QCOMPARE(frame->marker, 0xc0);
        QCOMPARE(frame->width, width);
        QCOMPARE(frame->height, height);
        QCOMPARE(pictures[0].data == picture, kept);
        QCOMPARE(pictures[0].mimeType, kept ? QStringLiteral("image/png") : QStringLiteral("image/jpeg"));
    }

    void maxRate_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("maxRate");
        QTest::addColumn<bool>("vbr");
        QTest::addColumn<int>("expectedRate");
        QTest::addColumn<qint64>("expectedFrames"); // of 1.5 s
        QTest::newRow("48 kHz to 44.1") << 48000 << 44100 << false << 44100 << qint64(66150);
        QTest::newRow("96 kHz to 44.1, VBR") << 96000 << 44100 << true << 44100 << qint64(66150);
        QTest::newRow("48 kHz within 40000") << 48000 << 40000 << false << 32000 << qint64(48000);
        QTest::newRow("no limit") << 48000 << 0 << false << 48000 << qint64(72000);
    }
    void maxRate()
    {
        QFETCH(int, rate);
        QFETCH(int, maxRate);
        QFETCH(bool, vbr);
        QFETCH(int, expectedRate);
        QFETCH(qint64, expectedFrames);
        QTemporaryDir dir;
        const QString wave = dir.filePath(QStringLiteral("in.wav"));
        const QString mp3 = dir.filePath(QStringLiteral("out.mp3"));
        QVERIFY(writeMusicWave(wave, 1.5, rate));
        const std::atomic_bool abort = false;
        QVERIFY(runEncode(settingsFor(wave, mp3, [&](EncoderSettings &s) { s.useVbr = vbr, s.device.maxRate = maxRate; }),
                          abort, [](int, qint64) {}));
        const Mp3Info info = decodeMp3(mp3);
        QCOMPARE(info.rate, expectedRate);
        QCOMPARE(info.frames, expectedFrames);
    }

    void applyGain_data()
    {
        QTest::addColumn<QString>("source"); // noise: pink, wideband; tone: 997 Hz; peaks: a quiet tone with loud bursts
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bitrate"); // kbit/s at a constant rate; 0: variable
        QTest::addColumn<int>("vbrLevel");
        QTest::addColumn<bool>("limited");
        QTest::newRow("noise, 320 kbit/s") << "noise" << 44100 << 320 << 0 << false;
        QTest::newRow("noise, 128 kbit/s") << "noise" << 44100 << 128 << 0 << false;
        QTest::newRow("noise, 192 kbit/s") << "noise" << 44100 << 192 << 0 << false;
        QTest::newRow("noise, 64 kbit/s at 24 kHz") << "noise" << 44100 << 64 << 0 << false;
        QTest::newRow("noise, 48 kHz held to 44.1") << "noise" << 48000 << 128 << 0 << false;
        QTest::newRow("noise, V2") << "noise" << 44100 << 0 << 2 << false;
        QTest::newRow("noise, V5") << "noise" << 44100 << 0 << 5 << false;
        QTest::newRow("tone, 128 kbit/s") << "tone" << 44100 << 128 << 0 << false;
        QTest::newRow("quiet with peaks, held") << "peaks" << 44100 << 128 << 0 << true;
    }
    void applyGain()
    {
        QFETCH(QString, source);
        QFETCH(int, rate);
        QFETCH(int, bitrate);
        QFETCH(int, vbrLevel);
        QFETCH(bool, limited);
        QTemporaryDir dir;
        const QString wave = dir.filePath(QStringLiteral("in.wav"));
        const QString mp3 = dir.filePath(QStringLiteral("out.mp3"));
        if (source == QLatin1String("noise"))
            QVERIFY(writePinkNoise(wave, 5, rate));
        else
            QVERIFY(writeToneWave(wave, 5, rate, 2, source == QLatin1String("tone") ? 0.03 : 0.01, SampleType::Float32));
        if (source == QLatin1String("peaks")) { // 1 ms of a loud tone each 200 ms, over the float samples at the end
            QFile file(wave);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const qint64 data = file.size() - 5 * 44100 * 8;
            for (int burst = 0; burst < 25; ++burst) {
                QVERIFY(file.seek(data + qint64(burst) * 8820 * 8));
                for (int n = 0; n < 44; ++n) {
                    const float value = float(0.95 * std::sin(2 * M_PI * 3000 * n / 44100));
                    file.write(reinterpret_cast<const char *>(&value), 4);
                    file.write(reinterpret_cast<const char *>(&value), 4);
                }
            }
        }
        const EncoderSettings settings = settingsFor(wave, mp3, [&](EncoderSettings &s) {
            s.device.applyGain = DeviceSettings::Gain::Track;
            s.device.maxRate = 44100;
            s.useVbr = bitrate == 0;
            s.bitrate = s.useVbr ? s.bitrate : bitrate;
            s.vbrRate = vbrLevel;
        });
        const std::atomic_bool abort = false;
        QVERIFY(runEncode(settings, abort, [](int, qint64) {}));
        const auto [lufs, peakDb] = loudnessOf({mp3});
        QVERIFY2(peakDb <= -1.0, qPrintable(QString::number(peakDb)));
        if (limited)
            QVERIFY2(lufs < -19 && peakDb > -3, qPrintable(QStringLiteral("%1 %2").arg(lufs).arg(peakDb)));
        else
            QVERIFY2(std::abs(lufs + 18) <= 0.2, qPrintable(QString::number(lufs)));
    }

    void albumGain()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("in/Album")));
        QVERIFY(writeToneWave(dir.filePath(QStringLiteral("in/Album/01 quiet.wav")), 5, 44100, 2, 0.02));
        QVERIFY(writeToneWave(dir.filePath(QStringLiteral("in/Album/02 loud.wav")), 5, 44100, 2, 0.2));
        QProcess run;
        run.start(QStringLiteral(SONOVERT_ENCODE),
                  {dir.filePath(QStringLiteral("in")), QStringLiteral("-o"), dir.filePath(QStringLiteral("out")),
                   QStringLiteral("--apply-gain=album")});
        QVERIFY(run.waitForFinished(20000));
        QCOMPARE(run.exitCode(), 0);
        const QString quiet = dir.filePath(QStringLiteral("out/Album/01 quiet.mp3"));
        const QString loud = dir.filePath(QStringLiteral("out/Album/02 loud.mp3"));
        const auto [together, peakDb] = loudnessOf({quiet, loud});
        QVERIFY2(std::abs(together + 18) <= 0.2, qPrintable(QString::number(together)));
        QVERIFY(peakDb <= -1.0);
        // The sources differ by 20 dB, and so do their MP3s.
        QVERIFY(std::abs(loudnessOf({loud}).first - loudnessOf({quiet}).first - 20) <= 0.2);
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected"); // id3 v1 cover rate gain names, or the refusal's start
        const QString in = QStringLiteral("in.wav");
        const QString out = QStringLiteral("out.mp3");
        QTest::newRow("defaults") << QStringList {in, out} << QStringLiteral("3 1 0 0 0 -");
        QTest::newRow("each") << QStringList {in, out, "--id3=2.4", "--id3v1=off", "--cover-size=400", "--max-rate=44100", "--apply-gain=track"} << QStringLiteral("4 0 400 44100 1 -");
        QTest::newRow("car") << QStringList {"--device=car", in, out} << QStringLiteral("3 1 500 44100 1 -");
        QTest::newRow("given before the bundle") << QStringList {"--id3=2.4", "--cover-size=none", "--device=car", in, out} << QStringLiteral("4 1 -1 44100 1 -");
        QTest::newRow("given after it") << QStringList {"--device=phone", "--apply-gain=off", in, out} << QStringLiteral("4 0 1000 0 0 -");
        QTest::newRow("album in folders") << QStringList {"--apply-gain=album", "folder", "-o", "dir"} << QStringLiteral("3 1 0 0 2 -");
        // Into a folder on this disk, which holds any name: the bundle's portable names.
        const QStringList folder {"folder", "-o", "dir"};
        QTest::newRow("car's names") << QStringList {"--device=car"} + folder << QStringLiteral("3 1 500 44100 1 portable caseless");
        QTest::newRow("phone's names") << QStringList {"--device=phone"} + folder << QStringLiteral("4 0 1000 0 1 portable caseless");
        QTest::newRow("beside the inputs") << QStringList {"--device=player", "a.wav", "b.wav", "c.wav"} << QStringLiteral("3 1 300 44100 1 portable caseless");
        QTest::newRow("names before the bundle") << QStringList {"--names=native", "--device=car"} + folder << QStringLiteral("3 1 500 44100 1 native");
        QTest::newRow("names after it") << QStringList {"--device=car", "--names=native"} + folder << QStringLiteral("3 1 500 44100 1 native");
        QTest::newRow("ascii names after it") << QStringList {"--device=player", "--names=ascii"} + folder << QStringLiteral("3 1 300 44100 1 ascii caseless");
        QTest::newRow("a mirror job takes the listing's") << QStringList {"--device=car", "--mirror", "src/A", "-o", "/dst/.sonovert-incoming/0/A"} << QStringLiteral("3 1 500 44100 1 -");
        QTest::newRow("a batch job takes the listing's") << QStringList {"--device=car", "src/A", "-o", "/dst/./A"} << QStringLiteral("3 1 500 44100 1 -");
        QTest::newRow("./dir is no job") << QStringList {"--device=car", "folder", "-o", "./dir"} << QStringLiteral("3 1 500 44100 1 portable caseless");
        QTest::newRow("album of one file") << QStringList {"--apply-gain=album", in, out} << QStringLiteral("--apply-gain=album applies to folders");
        QTest::newRow("album without albums") << QStringList {"--apply-gain=album", "--album=off", "folder", "-o", "dir"} << QStringLiteral("--apply-gain=album measures albums");
        QTest::newRow("tiny cover") << QStringList {"--cover-size=8", in, out} << QStringLiteral("--cover-size takes pixels from 32");
        QTest::newRow("rate in kHz") << QStringList {"--max-rate=44.1", in, out} << QStringLiteral("--max-rate takes a sample rate");
        QTest::newRow("ID3v2.2") << QStringList {"--id3=2.2", in, out} << QStringLiteral("--id3 takes 2.3 or 2.4");
        QTest::newRow("unknown device") << QStringList {"--device=watch", in, out} << QStringLiteral("--device takes car");
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        Command command;
        const Outcome parsed = parse(args, command);
        const DeviceSettings &d = command.encoder.settings().device;
        const QString names = command.batch.names ? namesText(*command.batch.names) : QStringLiteral("-");
        const QString got = parsed ? QStringLiteral("%1 %2 %3 %4 %5 %6").arg(d.id3Version).arg(int(d.id3v1)).arg(d.coverSize).arg(d.maxRate).arg(int(d.applyGain)).arg(names)
                                   : parsed.message;
        QVERIFY2(got.startsWith(expected), qPrintable(got));
    }

    void mtpMounts_data()
    {
        QTest::addColumn<QByteArray>("mounts");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // empty: no MTP
        const QByteArray base("/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/card vfat rw 0 0\n");
        QTest::newRow("jmtpfs") << base + "jmtpfs /media/phone fuse.jmtpfs rw 0 0\n" << "/media/phone/Music" << "jmtpfs";
        QTest::newRow("a card beside it") << base + "jmtpfs /media/phone fuse.jmtpfs rw 0 0\n" << "/media/card/Music" << "";
        QTest::newRow("a name that starts the same") << base + "jmtpfs /media/phone fuse.jmtpfs rw 0 0\n" << "/media/phone2" << "";
        QTest::newRow("gvfs mtp") << base + "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw 0 0\n" << "/run/user/1000/gvfs/mtp:host=Phone/Card/Music" << "gvfs mtp";
        QTest::newRow("gvfs smb") << base + "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw 0 0\n" << "/run/user/1000/gvfs/smb-share:server=nas/music" << "";
        QTest::newRow("a space escaped") << base + "simple-mtpfs /media/my\\040phone fuse.simple-mtpfs rw 0 0\n" << "/media/my phone/x" << "simple-mtpfs";
    }
    void mtpMounts()
    {
        QFETCH(QByteArray, mounts);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(mtpMountOf(mounts, path).value_or(QString()), expected);
    }
};

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
