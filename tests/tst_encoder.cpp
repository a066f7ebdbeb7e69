#include "encoder/lameencoderx.h"
#include "encoder/core/progresscounter.h"
#include "encoder/core/tagfields.h"
#include "encoder/tags/id3render.h"
#include "audiocompare.h"
#include "childencode.h"
#include "mp3check.h"
#include "tempfiles.h"
#include "wavegen.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

#include <cmath>
#include <unistd.h>

using Member = LameEncoderX::Member;
Q_DECLARE_METATYPE(Member)
Q_DECLARE_METATYPE(SampleType)
Q_DECLARE_METATYPE(Container)

namespace {

// Everything one run raised, with what was true when each signal came.
class Recorder : public QObject
{
    Q_OBJECT

public:
    Recorder(LameEncoderX &encoder, const QString &output = {})
    {
        connect(&encoder, &LameEncoderX::EncodeProgress, this, [this, output](int percent, qint64 frames) {
            percents << percent;
            this->frames << frames;
            if (percent == 100)
                outputAtHundred = QFile::exists(output);
        });
        connect(&encoder, &LameEncoderX::EncodeFinished, this, [this, &encoder] {
            ++finished;
            joinedAtEnd = !encoder.isEncoding();
            emit ended();
        });
        connect(&encoder, &LameEncoderX::EncodeFailed, this, [this, &encoder](const QString &message) {
            failures << message;
            joinedAtEnd = !encoder.isEncoding();
            emit ended();
        });
    }

    bool waitForEnd(int timeoutMs = 60000)
    {
        if (finished + failures.size() > 0)
            return true;
        QSignalSpy spy(this, &Recorder::ended);
        return spy.wait(timeoutMs);
    }

    QList<int> percents;
    QList<qint64> frames;
    int finished = 0;
    QStringList failures;
    bool outputAtHundred = false;
    bool joinedAtEnd = false;

signals:
    void ended();
};

QByteArray hashOf(const QString &path)
{
    return QCryptographicHash::hash(contentOf(path), QCryptographicHash::Sha1);
}

QList<int> zeroToHundred()
{
    QList<int> all;
    for (int p = 0; p <= 100; ++p)
        all << p;
    return all;
}

} // namespace

class TestEncoder : public QObject
{
    Q_OBJECT

private:
    void encodeOk(LameEncoderX &encoder, const QString &input, const QString &output)
    {
        QVERIFY(encoder.write(Member::InputFile, input));
        QVERIFY(encoder.write(Member::OutputFile, output));
        Recorder recorder(encoder, output);
        const Outcome started = encoder.call(Member::Encode);
        QVERIFY2(started, qPrintable(started.message));
        QVERIFY(recorder.waitForEnd());
        QCOMPARE(recorder.failures, QStringList());
        QCOMPARE(recorder.finished, 1);
    }

    TestFolder m_dir;
    QString m_longWave; // a minute of audio, for runs that must still be going when stopped

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_longWave = m_dir.path(QStringLiteral("long.wav"));
        QVERIFY(writeMusicWave(m_longWave, 60));
    }

    void defaults_data()
    {
        QTest::addColumn<Member>("member");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("InputFile") << Member::InputFile << QVariant(QString());
        QTest::newRow("OutputFile") << Member::OutputFile << QVariant(QString());
        QTest::newRow("Bitrate") << Member::Bitrate << QVariant(128);
        QTest::newRow("VBRRate") << Member::VBRRate << QVariant(4);
        QTest::newRow("SkipTags") << Member::SkipTags << QVariant(false);
        QTest::newRow("WriteInfoTag") << Member::WriteInfoTag << QVariant(true);
        QTest::newRow("RawPCM") << Member::RawPCM << QVariant(false);
        QTest::newRow("Mono") << Member::Mono << QVariant(false);
        QTest::newRow("TagTitle") << Member::TagTitle << QVariant(QString());
        QTest::newRow("Encode") << Member::Encode << QVariant();
        QTest::newRow("Abort") << Member::Abort << QVariant();
    }

    void defaults()
    {
        QFETCH(Member, member);
        QFETCH(QVariant, expected);
        const LameEncoderX encoder;
        const QVariant value = encoder.read(member);
        QCOMPARE(value.metaType(), expected.metaType());
        QCOMPARE(value, expected);
    }

    void writeReadBack_data()
    {
        QTest::addColumn<Member>("member");
        QTest::addColumn<QVariant>("before"); // written first, must survive a refusal
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QVariant>("expected");
        const QVariant b224 = QStringLiteral("224");
        QTest::newRow("bit rate text") << Member::Bitrate << b224 << QVariant("64") << true << QVariant(64);
        QTest::newRow("bit rate empty is default") << Member::Bitrate << b224 << QVariant("") << true << QVariant(128);
        QTest::newRow("bit rate to nearest MPEG rate") << Member::Bitrate << b224 << QVariant("100") << true << QVariant(96);
        QTest::newRow("bit rate fraction to nearest") << Member::Bitrate << b224 << QVariant("36.5") << true << QVariant(40);
        QTest::newRow("bit rate tie to the lower") << Member::Bitrate << b224 << QVariant("36") << true << QVariant(32);
        QTest::newRow("bit rate MPEG-2 only rate kept") << Member::Bitrate << b224 << QVariant("144") << true << QVariant(144);
        QTest::newRow("bit rate lowest") << Member::Bitrate << b224 << QVariant("8") << true << QVariant(8);
        QTest::newRow("bit rate highest") << Member::Bitrate << b224 << QVariant("320") << true << QVariant(320);
        QTest::newRow("bit rate below highest") << Member::Bitrate << b224 << QVariant("300") << true << QVariant(320);
        QTest::newRow("bit rate as int") << Member::Bitrate << b224 << QVariant(192) << true << QVariant(192);
        QTest::newRow("bit rate 7.5 rounds into range") << Member::Bitrate << b224 << QVariant(7.5) << true << QVariant(8);
        QTest::newRow("bit rate too low") << Member::Bitrate << b224 << QVariant("7") << false << QVariant(224);
        QTest::newRow("bit rate too high") << Member::Bitrate << b224 << QVariant("321") << false << QVariant(224);
        QTest::newRow("bit rate words") << Member::Bitrate << b224 << QVariant("abc") << false << QVariant(224);
        QTest::newRow("bit rate trailing junk") << Member::Bitrate << b224 << QVariant("12abc") << false << QVariant(224);
        QTest::newRow("bit rate nan") << Member::Bitrate << b224 << QVariant("nan") << false << QVariant(224);
        QTest::newRow("bit rate bool") << Member::Bitrate << b224 << QVariant(true) << false << QVariant(224);
        const QVariant v7 = QStringLiteral("7");
        QTest::newRow("vbr highest") << Member::VBRRate << v7 << QVariant("9") << true << QVariant(9);
        QTest::newRow("vbr half to even") << Member::VBRRate << v7 << QVariant("2.5") << true << QVariant(2);
        QTest::newRow("vbr empty is default") << Member::VBRRate << v7 << QVariant("") << true << QVariant(4);
        QTest::newRow("vbr too high") << Member::VBRRate << v7 << QVariant("10") << false << QVariant(7);
        QTest::newRow("vbr words") << Member::VBRRate << v7 << QVariant("x") << false << QVariant(7);
        const QVariant on = true;
        const QVariant off = false;
        QTest::newRow("switch True") << Member::Mono << off << QVariant("True") << true << on;
        QTest::newRow("switch False") << Member::Mono << on << QVariant("False") << true << off;
        QTest::newRow("switch 1") << Member::Mono << off << QVariant("1") << true << on;
        QTest::newRow("switch bool") << Member::SkipTags << off << on << true << on;
        QTest::newRow("switch yes refused") << Member::Mono << on << QVariant("yes") << false << on;
        QTest::newRow("switch 2 refused") << Member::Mono << off << QVariant(2) << false << off;
        const QString unicode = QStringLiteral("/tmp/Ünïcødé 音楽/тест.wav");
        QTest::newRow("path as written") << Member::InputFile << QVariant("a") << QVariant(unicode) << true << QVariant(unicode);
        QTest::newRow("year as number") << Member::TagYear << QVariant("a") << QVariant(1999) << true << QVariant("1999");
        QTest::newRow("method refused") << Member::Encode << QVariant() << QVariant(true) << false << QVariant();
    }

    void writeReadBack()
    {
        QFETCH(Member, member);
        QFETCH(QVariant, before);
        QFETCH(QVariant, written);
        QFETCH(bool, accepted);
        QFETCH(QVariant, expected);
        LameEncoderX encoder;
        if (before.isValid())
            QVERIFY(encoder.write(member, before));
        const Outcome outcome = encoder.write(member, written);
        QCOMPARE(outcome.ok(), accepted);
        QCOMPARE(outcome.kind, accepted ? Outcome::Kind::Success : Outcome::Kind::Failure);
        QCOMPARE(outcome.message.isEmpty(), accepted);
        QCOMPARE(encoder.read(member), expected);
    }

    void memberNames()
    {
        for (Member member : {Member::InputFile, Member::Bitrate, Member::SkipTags, Member::WriteInfoTag,
                              Member::TagGenre, Member::Encode, Member::Abort})
            QCOMPARE(LameEncoderX::memberByName(LameEncoderX::memberName(member)), member);
        QCOMPARE(LameEncoderX::memberByName(u"vbrrate"), Member::VBRRate);
        QVERIFY(!LameEncoderX::memberByName(u"Volume"));
        LameEncoderX encoder;
        QVERIFY(!encoder.call(Member::Bitrate));
        QVERIFY(encoder.call(Member::Abort)); // no run: no effect
    }

    // Every row of the member table: its name leads back to it, its default is what a fresh
    // component holds, and a write reaches its own setting and no other member's.
    void memberTable_data()
    {
        QTest::addColumn<Member>("member");
        for (const MemberField &field : LameEncoderX::members())
            QTest::newRow(field.name) << field.member;
    }

    void memberTable()
    {
        QFETCH(Member, member);
        QCOMPARE(LameEncoderX::memberByName(LameEncoderX::memberName(member)), member);
        LameEncoderX encoder;
        QCOMPARE(encoder.read(member), LameEncoderX::defaultValue(member));
        const MemberField &field = *memberField(member);
        QVariant other;
        switch (field.kind) {
        case MemberKind::Text: other = QStringLiteral("x"); break;
        case MemberKind::Switch: other = !LameEncoderX::defaultValue(member).toBool(); break;
        case MemberKind::BitRate: other = 320; break;
        case MemberKind::VbrRate: other = 9; break;
        case MemberKind::Method: QVERIFY(!encoder.write(member, true)); return;
        }
        QVERIFY(encoder.write(member, other));
        QCOMPARE(encoder.read(member), other);
        for (const MemberField &rest : LameEncoderX::members()) {
            if (rest.member != member)
                QVERIFY2(encoder.read(rest.member) == LameEncoderX::defaultValue(rest.member), rest.name);
        }
    }

    // Each typed tag text reaches the ID3v2 tag under its own frame, and its ID3v1 field.
    void tagTable_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("v1At"); // where its ID3v1 field starts
        QTest::addColumn<QByteArray>("v1Field");
        const QByteArray blank30(26, '\0');
        QTest::newRow("title") << "TagTitle" << "Song" << QByteArray("TIT2") << 3 << "Song" + blank30;
        QTest::newRow("artist") << "TagArtist" << "Band" << QByteArray("TPE1") << 33 << "Band" + blank30;
        QTest::newRow("album") << "TagAlbum" << "Disc" << QByteArray("TALB") << 63 << "Disc" + blank30;
        QTest::newRow("year") << "TagYear" << "1999" << QByteArray("TYER") << 93 << QByteArray("1999");
        QTest::newRow("genre") << "TagGenre" << "Rock" << QByteArray("TCON") << 127 << QByteArray("\x11");
    }

    void tagTable()
    {
        QFETCH(QString, member);
        QFETCH(QString, text);
        QFETCH(QByteArray, frame);
        QFETCH(int, v1At);
        QFETCH(QByteArray, v1Field);
        const std::optional<Member> named = LameEncoderX::memberByName(member);
        QVERIFY(named);
        LameEncoderX encoder;
        QVERIFY(encoder.write(*named, text));
        const std::optional<QByteArray> v2 = renderId3v2(mergeTags(encoder.settings(), nullptr));
        QVERIFY(v2);
        // ID3 header, one frame header, the encoding byte, the text.
        QCOMPARE(v2->size(), 10 + 10 + 1 + 4);
        QCOMPARE(v2->mid(10, 4), frame);
        QCOMPARE(v2->right(4), text.toLatin1());
        const QByteArray v1 = renderId3v1(mergeTags(encoder.settings(), nullptr),
                                          [](const QString &genre) { return genre == "Rock" ? 17 : 255; });
        QCOMPARE(v1.size(), 128);
        QCOMPARE(v1.mid(v1At, v1Field.size()), v1Field);
    }

    void convert_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<SampleType>("sample");
        QTest::addColumn<Container>("container");
        QTest::addColumn<int>("outRate");
        QTest::addColumn<int>("outChannels");
        QTest::addColumn<double>("seconds");
        const QString plain = QStringLiteral("convert");
        QTest::newRow("16-bit stereo 44.1k") << plain << 2 << 44100 << SampleType::Pcm16 << Container::Wave << 44100 << 2 << 1.5;
        QTest::newRow("16-bit mono 44.1k") << plain << 1 << 44100 << SampleType::Pcm16 << Container::Wave << 44100 << 1 << 1.5;
        QTest::newRow("8-bit mono 22.05k") << plain << 1 << 22050 << SampleType::Pcm8 << Container::Wave << 22050 << 1 << 1.5;
        QTest::newRow("24-bit stereo 48k") << plain << 2 << 48000 << SampleType::Pcm24 << Container::Wave << 48000 << 2 << 1.5;
        QTest::newRow("32-bit stereo 32k") << plain << 2 << 32000 << SampleType::Pcm32 << Container::Wave << 32000 << 2 << 1.5;
        QTest::newRow("float stereo 44.1k") << plain << 2 << 44100 << SampleType::Float32 << Container::Wave << 44100 << 2 << 1.5;
        QTest::newRow("float mono 16k") << plain << 1 << 16000 << SampleType::Float32 << Container::Wave << 16000 << 1 << 1.5;
        QTest::newRow("extensible 24-bit") << plain << 2 << 44100 << SampleType::Pcm24 << Container::WaveExtensible << 44100 << 2 << 1.5;
        QTest::newRow("RF64 16-bit") << plain << 2 << 44100 << SampleType::Pcm16 << Container::Rf64 << 44100 << 2 << 1.5;
        QTest::newRow("W64 float") << plain << 2 << 48000 << SampleType::Float32 << Container::W64 << 48000 << 2 << 1.5;
        QTest::newRow("5.1 down-mixed") << plain << 6 << 48000 << SampleType::Pcm16 << Container::WaveExtensible << 48000 << 2 << 1.5;
        QTest::newRow("96k resampled") << plain << 2 << 96000 << SampleType::Pcm24 << Container::Wave << 48000 << 2 << 1.5;
        // lame's rule-of-thumb buffer is too small for a block this far below 8 kHz.
        QTest::newRow("1 kHz upsampled") << plain << 2 << 1000 << SampleType::Pcm16 << Container::Wave << 8000 << 2 << 20.0;
        QTest::newRow("non-Latin path") << QStringLiteral("Ünïcødé 音楽 тест") << 2 << 44100 << SampleType::Pcm16
                                        << Container::Wave << 44100 << 2 << 1.5;
    }

    void convert()
    {
        QFETCH(QString, folder);
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(SampleType, sample);
        QFETCH(Container, container);
        QFETCH(int, outRate);
        QFETCH(int, outChannels);
        QFETCH(double, seconds);
        const QString dir = m_dir.path(folder);
        QDir().mkpath(dir);
        const QString input = dir + QStringLiteral("/входной.wav");
        const QString output = dir + QStringLiteral("/выход.mp3");
        WaveOptions shape;
        shape.frames = std::llround(rate * seconds);
        shape.channels = channels;
        shape.rate = rate;
        shape.sample = sample;
        shape.container = container;
        shape.seed = 7;
        QVERIFY(writeWave(input, shape));
        const QByteArray before = hashOf(input);

        LameEncoderX encoder;
        encodeOk(encoder, input, output);
        QCOMPARE(hashOf(input), before);
        const Mp3Info mp3 = decodeMp3(output, true);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QCOMPARE(mp3.rate, outRate);
        QCOMPARE(mp3.channels, outChannels);
        QVERIFY(mp3.hasInfoTag);
        if (outRate != rate) {
            const double expected = double(shape.frames) * outRate / rate;
            QVERIFY2(std::abs(mp3.frames - expected) <= 2, qPrintable(QString::number(mp3.frames)));
            return;
        }
        // Gapless: exactly the input's frames.
        QCOMPARE(mp3.frames, shape.frames);
        if (channels > 2)
            return;
        // The sound itself, each channel in its place (a mono input read as interleaved stereo, or
        // swapped channels, would fail here).
        const std::vector<float> original = musicSamples(shape.frames, channels, rate, shape.seed);
        for (int c = 0; c < channels; ++c) {
            const std::vector<float> decoded = channelOf(mp3.samples, channels, c);
            const double own = snrDb(decoded, channelOf(original, channels, c));
            QVERIFY2(own > 10, qPrintable(QStringLiteral("channel %1: %2 dB").arg(c).arg(own)));
            if (channels == 2)
                QVERIFY(own > snrDb(decoded, channelOf(original, channels, 1 - c)) + 6);
        }
    }

    // A channel fed alone comes out at its gain on each side: centre channels on both at -3 dB,
    // rear and side channels on their own side at -3 dB, LFE left out, each side's gains
    // scaled to sum to one. Without a channel mask, the WAVE order (FL FR FC LFE BL BR FLC FRC);
    // with one (libsndfile writes quad as FL FR BL BR), the mask.
    void downmixGains_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<Container>("container");
        QTest::addColumn<int>("fed");
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("right");
        const double side = std::sqrt(0.5);
        const double front3 = 1 + side;         // a side's sum with one more channel on it
        const double front5 = 1 + 2 * side;     // with two
        const double front7 = 1 + 3 * side;     // with three
        const Container plain = Container::Wave;
        const Container masked = Container::WaveExtensible;
        QTest::newRow("3 channels: front left") << 3 << plain << 0 << 1 / front3 << 0.0;
        QTest::newRow("3 channels: front right") << 3 << plain << 1 << 0.0 << 1 / front3;
        QTest::newRow("3 channels: centre") << 3 << plain << 2 << side / front3 << side / front3;
        QTest::newRow("4 channels: centre") << 4 << plain << 2 << side / front3 << side / front3;
        QTest::newRow("4 channels: LFE") << 4 << plain << 3 << 0.0 << 0.0;
        QTest::newRow("quad: front left") << 4 << masked << 0 << 1 / front3 << 0.0;
        QTest::newRow("quad: rear left") << 4 << masked << 2 << side / front3 << 0.0;
        QTest::newRow("quad: rear right") << 4 << masked << 3 << 0.0 << side / front3;
        QTest::newRow("5.1: front left") << 6 << plain << 0 << 1 / front5 << 0.0;
        QTest::newRow("5.1: centre") << 6 << plain << 2 << side / front5 << side / front5;
        QTest::newRow("5.1: LFE") << 6 << plain << 3 << 0.0 << 0.0;
        QTest::newRow("5.1: rear right") << 6 << plain << 5 << 0.0 << side / front5;
        QTest::newRow("5.1 masked: rear left") << 6 << masked << 4 << side / front5 << 0.0;
        QTest::newRow("7.1: front right") << 8 << plain << 1 << 0.0 << 1 / front7;
        QTest::newRow("7.1: centre") << 8 << plain << 2 << side / front7 << side / front7;
        QTest::newRow("7.1: LFE") << 8 << plain << 3 << 0.0 << 0.0;
        QTest::newRow("7.1: rear left") << 8 << plain << 4 << side / front7 << 0.0;
        QTest::newRow("7.1: 7th on the left") << 8 << plain << 6 << side / front7 << 0.0;
        QTest::newRow("7.1: 8th on the right") << 8 << plain << 7 << 0.0 << side / front7;
        QTest::newRow("7.1 masked: 8th on the right") << 8 << masked << 7 << 0.0 << side / front7;
    }

    void downmixGains()
    {
        QFETCH(int, channels);
        QFETCH(Container, container);
        QFETCH(int, fed);
        QFETCH(double, left);
        QFETCH(double, right);
        const QString input = m_dir.path(QStringLiteral("downmix.wav"));
        const QString output = m_dir.path(QStringLiteral("downmix.mp3"));
        WaveOptions shape;
        shape.frames = 24000;
        shape.rate = 48000;
        shape.channels = channels;
        shape.container = container;
        shape.soleChannel = fed;
        QVERIFY(writeWave(input, shape));
        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::Bitrate, 320));
        encodeOk(encoder, input, output);
        const Mp3Info mp3 = decodeMp3(output, true);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QCOMPARE(mp3.channels, 2);
        QCOMPARE(mp3.frames, shape.frames);
        const std::vector<float> fedAlone = channelOf(musicSamples(shape.frames, channels, shape.rate), channels, fed);
        const double gotLeft = gainOf(channelOf(mp3.samples, 2, 0), fedAlone);
        const double gotRight = gainOf(channelOf(mp3.samples, 2, 1), fedAlone);
        const QString said = QStringLiteral("left %1 (%2 wanted), right %3 (%4 wanted)")
                                 .arg(gotLeft, 0, 'f', 4).arg(left, 0, 'f', 4).arg(gotRight, 0, 'f', 4).arg(right, 0, 'f', 4);
        QVERIFY2(std::abs(gotLeft - left) < 0.01 && std::abs(gotRight - right) < 0.01, qPrintable(said));
    }

    // The same samples in another container give the same MP3, byte for byte.
    void sameMp3AnyContainer_data()
    {
        QTest::addColumn<Container>("container");
        QTest::addColumn<SampleType>("sample");
        QTest::newRow("RIFX 16-bit") << Container::Rifx << SampleType::Pcm16;
        QTest::newRow("RIFX 24-bit") << Container::Rifx << SampleType::Pcm24;
        QTest::newRow("RIFX 32-bit") << Container::Rifx << SampleType::Pcm32;
        QTest::newRow("RIFX float") << Container::Rifx << SampleType::Float32;
        QTest::newRow("RF64 24-bit") << Container::Rf64 << SampleType::Pcm24;
        QTest::newRow("W64 16-bit") << Container::W64 << SampleType::Pcm16;
    }

    void sameMp3AnyContainer()
    {
        QFETCH(Container, container);
        QFETCH(SampleType, sample);
        WaveOptions shape;
        shape.sample = sample;
        const QString riff = m_dir.path(QStringLiteral("container-riff.wav"));
        const QString other = m_dir.path(QStringLiteral("container-other.wav"));
        QVERIFY(writeWave(riff, shape));
        shape.container = container;
        QVERIFY(writeWave(other, shape));
        QVERIFY(contentOf(riff) != contentOf(other));
        LameEncoderX encoder;
        encodeOk(encoder, riff, m_dir.path(QStringLiteral("container-riff.mp3")));
        encodeOk(encoder, other, m_dir.path(QStringLiteral("container-other.mp3")));
        const QByteArray expected = contentOf(m_dir.path(QStringLiteral("container-riff.mp3")));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(contentOf(m_dir.path(QStringLiteral("container-other.mp3"))), expected);
        QCOMPARE(decodeMp3(m_dir.path(QStringLiteral("container-other.mp3"))).frames, shape.frames);
    }

    void progressEvents_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<int>("channels");
        QTest::addColumn<SampleType>("sample");
        QTest::addColumn<int>("cutBytes"); // taken off the end: the header then claims more
        QTest::newRow("stereo 16-bit") << qint64(88200) << 2 << SampleType::Pcm16 << 0;
        QTest::newRow("mono float") << qint64(88200) << 1 << SampleType::Float32 << 0;
        QTest::newRow("fewer frames than percents") << qint64(37) << 2 << SampleType::Pcm16 << 0;
        QTest::newRow("data cut short") << qint64(88200) << 2 << SampleType::Pcm16 << 40000;
    }

    void progressEvents()
    {
        QFETCH(qint64, frames);
        QFETCH(int, channels);
        QFETCH(SampleType, sample);
        QFETCH(int, cutBytes);
        const QString dir = m_dir.freshDir(QStringLiteral("progress"));
        const QString input = dir + QStringLiteral("/in.wav");
        const QString output = dir + QStringLiteral("/out.mp3");
        WaveOptions shape;
        shape.frames = frames;
        shape.channels = channels;
        shape.sample = sample;
        QVERIFY(writeWave(input, shape));
        if (cutBytes > 0)
            QVERIFY(QFile::resize(input, QFileInfo(input).size() - cutBytes));

        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::InputFile, input));
        QVERIFY(encoder.write(Member::OutputFile, output));
        Recorder recorder(encoder, output);
        QVERIFY(encoder.call(Member::Encode));
        QVERIFY(recorder.waitForEnd());
        QCOMPARE(recorder.failures, QStringList());
        QCOMPARE(recorder.percents, zeroToHundred());
        QVERIFY(recorder.outputAtHundred);
        QVERIFY(recorder.joinedAtEnd);
        QVERIFY(std::is_sorted(recorder.frames.begin(), recorder.frames.end()));
        const Mp3Info mp3 = decodeMp3(output);
        QVERIFY(mp3.ok);
        QCOMPARE(recorder.frames.last(), mp3.frames);
        QCOMPARE(entriesOf(dir), QStringList({"in.wav", "out.mp3"}));
        QTest::qWait(50);
        QCOMPARE(recorder.percents.size(), 101);
        QCOMPARE(recorder.finished, 1);
    }

    void progressCounter_data()
    {
        QTest::addColumn<qint64>("claimed");
        QTest::addColumn<QList<qint64>>("reads"); // frames read so far, block by block
        QTest::newRow("even blocks") << qint64(1000) << QList<qint64>({250, 500, 750, 1000});
        QTest::newRow("one block") << qint64(1000) << QList<qint64>({1000});
        QTest::newRow("small steps") << qint64(1000) << QList<qint64>({1, 2, 9, 10, 11, 999});
        QTest::newRow("shorter than claimed") << qint64(1000) << QList<qint64>({300, 600});
        QTest::newRow("longer than claimed") << qint64(1000) << QList<qint64>({800, 1600, 2400});
    }

    void progressCounter()
    {
        QFETCH(qint64, claimed);
        QFETCH(QList<qint64>, reads);
        QList<int> percents;
        QList<qint64> frames;
        const ProgressReport report = [&](int percent, qint64 read) {
            percents << percent;
            frames << read;
        };
        ProgressCounter counter(report, claimed);
        counter.start();
        for (qint64 read : reads)
            counter.advance(read);
        QVERIFY(!percents.contains(100));
        counter.finish(reads.last());
        QCOMPARE(percents, zeroToHundred());
        QCOMPARE(frames.last(), reads.last());
        QVERIFY(std::is_sorted(frames.begin(), frames.end()));
    }

    void rawPcm_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<QByteArray>("trailing");
        QTest::newRow("little-endian") << false << QByteArray();
        QTest::newRow("big-endian with ForceByteSwap") << true << QByteArray();
        QTest::newRow("trailing odd byte dropped") << false << QByteArray("\x7f");
    }

    void rawPcm()
    {
        QFETCH(bool, bigEndian);
        QFETCH(QByteArray, trailing);
        const qint64 frames = 44100;
        const QString wave = m_dir.path(QStringLiteral("raw-reference.wav"));
        const QString reference = m_dir.path(QStringLiteral("raw-reference.mp3"));
        const QString raw = m_dir.path(QStringLiteral("in.pcm"));
        const QString output = m_dir.path(QStringLiteral("raw.mp3"));
        WaveOptions shape;
        shape.frames = frames;
        QVERIFY(writeWave(wave, shape));
        QVERIFY(writeRawPcm(raw, frames, 2, bigEndian));
        if (!trailing.isEmpty()) {
            QFile file(raw);
            QVERIFY(file.open(QIODevice::Append));
            QCOMPARE(file.write(trailing), trailing.size());
        }

        LameEncoderX encoder;
        encodeOk(encoder, wave, reference);
        QVERIFY(encoder.write(Member::RawPCM, true));
        QVERIFY(encoder.write(Member::ForceByteSwap, bigEndian));
        encodeOk(encoder, raw, output);
        // The same samples, however they came, give the same MP3.
        QCOMPARE(contentOf(output), contentOf(reference));
        QCOMPARE(decodeMp3(output).frames, frames);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::newRow("no input named") << "" << "out.mp3";
        QTest::newRow("input missing") << "missing.wav" << "out.mp3";
        QTest::newRow("input is a folder") << "sub" << "out.mp3";
        QTest::newRow("no output named") << "in.wav" << "";
        QTest::newRow("output is the input") << "in.wav" << "in.wav";
        QTest::newRow("output through a symbolic link") << "in.wav" << "symlink.mp3";
        QTest::newRow("output through a hard link") << "in.wav" << "hardlink.mp3";
        QTest::newRow("output through a linked folder") << "in.wav" << "linkdir/in.wav";
        QTest::newRow("output by another spelling") << "in.wav" << "sub/../in.wav";
    }

    void refusals()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        const QString dir = m_dir.freshDir(QStringLiteral("refusals"));
        const QString wave = dir + QStringLiteral("/in.wav");
        QVERIFY(writeMusicWave(wave, 0.5));
        QVERIFY(QDir(dir).mkdir(QStringLiteral("sub")));
        QVERIFY(QFile::link(wave, dir + QStringLiteral("/symlink.mp3")));
        QCOMPARE(::link(QFile::encodeName(wave).constData(), QFile::encodeName(dir + "/hardlink.mp3").constData()), 0);
        QVERIFY(QFile::link(dir, dir + QStringLiteral("/linkdir")));
        const QStringList entries = entriesOf(dir);
        const QByteArray before = hashOf(wave);

        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::InputFile, input.isEmpty() ? input : dir + '/' + input));
        QVERIFY(encoder.write(Member::OutputFile, output.isEmpty() ? output : dir + '/' + output));
        Recorder recorder(encoder);
        const Outcome started = encoder.call(Member::Encode);
        QVERIFY(!started);
        QVERIFY(!started.message.isEmpty());
        QVERIFY(!encoder.isEncoding());
        QTest::qWait(20);
        QCOMPARE(recorder.percents.size() + recorder.finished + recorder.failures.size(), 0);
        QCOMPARE(hashOf(wave), before);
        QCOMPARE(entriesOf(dir), entries);
    }

    void runFailures_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::newRow("not audio") << "text.wav" << "old.mp3";
        QTest::newRow("no frames") << "empty.wav" << "old.mp3";
        QTest::newRow("output folder missing") << "in.wav" << "gone/out.mp3";
        QTest::newRow("output is a folder") << "in.wav" << "sub";
    }

    void runFailures()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        const QString dir = m_dir.freshDir(QStringLiteral("failures"));
        QVERIFY(writeMusicWave(dir + QStringLiteral("/in.wav"), 0.5));
        QByteArray text;
        while (text.size() < 1000000)
            text += "Not a sound, only words in a file named like a WAVE file.\n";
        QVERIFY(writeBytes(dir + QStringLiteral("/text.wav"), text));
        WaveOptions none;
        none.frames = 0;
        QVERIFY(writeWave(dir + QStringLiteral("/empty.wav"), none));
        QVERIFY(writeBytes(dir + QStringLiteral("/old.mp3"), "the earlier output"));
        QVERIFY(QDir(dir).mkdir(QStringLiteral("sub")));
        const QStringList entries = entriesOf(dir);
        const QByteArray old = hashOf(dir + QStringLiteral("/old.mp3"));

        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::InputFile, dir + '/' + input));
        QVERIFY(encoder.write(Member::OutputFile, dir + '/' + output));
        Recorder recorder(encoder);
        QVERIFY(encoder.call(Member::Encode));
        QVERIFY(recorder.waitForEnd());
        QCOMPARE(recorder.failures.size(), 1);
        QVERIFY(!recorder.failures.first().isEmpty());
        QCOMPARE(recorder.finished, 0);
        QVERIFY(recorder.joinedAtEnd);
        QVERIFY(recorder.percents.size() < 101);
        QCOMPARE(entriesOf(dir), entries);
        QCOMPARE(hashOf(dir + QStringLiteral("/old.mp3")), old);
        QVERIFY(QDir(dir + QStringLiteral("/sub")).isEmpty());
    }

    void writeFailureIsReported()
    {
        // A file-size limit makes a write fail part-way; it is set in a child process only.
        const QString dir = m_dir.freshDir(QStringLiteral("limit"));
        const QString input = dir + QStringLiteral("/in.wav");
        const QString output = dir + QStringLiteral("/out.mp3");
        QVERIFY(writeMusicWave(input, 3));
        QVERIFY(writeBytes(output, "the earlier output"));
        const QStringList entries = entriesOf(dir);
        const QByteArray old = hashOf(output);

        ChildConditions limited;
        limited.fileSizeLimit = 16384;
        const ChildEnd end = encodeInChildProcess(input, output, limited);
        QVERIFY(end.exited);
        QCOMPARE(end.exitCode, 1);
        QVERIFY2(end.said.startsWith(QStringLiteral("failed: Cannot write ")), qPrintable(end.said));
        QCOMPARE(entriesOf(dir), entries);
        QCOMPARE(hashOf(output), old);
    }

    // The MP3 takes the place of the file the output names: through symbolic links (which stay),
    // keeping the mode of a file it replaces, else with the umask's. Where the folder takes no
    // unnamed temporary file, a named one is used and removed however the run ends.
    void outputInPlace_data()
    {
        QTest::addColumn<QString>("link"); // what out.mp3 is: the file, or link(s) to target/song.mp3
        QTest::addColumn<int>("oldMode");  // of the earlier output; 0: none
        QTest::addColumn<int>("umask");
        QTest::addColumn<bool>("named");   // unnamed temporary files refused
        QTest::addColumn<QString>("end");
        const QString fin = QStringLiteral("finished");
        const QString full = QStringLiteral("full"); // the disk, as a file-size limit
        const QString failed = QStringLiteral("failed");
        const QString aborted = QStringLiteral("aborted");
        const QString none;
        const QString link = QStringLiteral("link");
        QTest::newRow("new file, umask 022") << none << 0 << 022 << false << fin;
        QTest::newRow("new file, umask 077") << none << 0 << 077 << false << fin;
        QTest::newRow("0640 kept") << none << 0640 << 022 << false << fin;
        QTest::newRow("0666 kept under umask 077") << none << 0666 << 077 << false << fin;
        QTest::newRow("through a link") << link << 0640 << 022 << false << fin;
        QTest::newRow("through a relative link") << QStringLiteral("relative") << 0600 << 022 << false << fin;
        QTest::newRow("through a link to a link") << QStringLiteral("chain") << 0640 << 022 << false << fin;
        QTest::newRow("through a dangling link") << QStringLiteral("dangling") << 0 << 022 << false << fin;
        QTest::newRow("through links in a loop") << QStringLiteral("loop") << 0 << 022 << false << failed;
        QTest::newRow("write fails") << none << 0640 << 022 << false << full;
        QTest::newRow("aborted") << none << 0640 << 022 << false << aborted;
        QTest::newRow("through a link, aborted") << link << 0640 << 022 << false << aborted;
        QTest::newRow("named temporary: new file") << none << 0 << 027 << true << fin;
        QTest::newRow("named temporary: 0640 kept") << none << 0640 << 022 << true << fin;
        QTest::newRow("named temporary: through a link") << link << 0604 << 022 << true << fin;
        QTest::newRow("named temporary: write fails") << none << 0640 << 022 << true << full;
        QTest::newRow("named temporary: aborted") << none << 0640 << 022 << true << aborted;
        QTest::newRow("named temporary: through a link, aborted") << link << 0640 << 022 << true << aborted;
    }

    void outputInPlace()
    {
        QFETCH(QString, link);
        QFETCH(int, oldMode);
        QFETCH(int, umask);
        QFETCH(bool, named);
        QFETCH(QString, end);
        const QString dir = m_dir.freshDir(QStringLiteral("in-place"));
        const QString targetDir = dir + QStringLiteral("/target");
        QVERIFY(QDir().mkpath(targetDir));
        const QString output = dir + QStringLiteral("/out.mp3");
        const QString target = link.isEmpty() ? output : targetDir + QStringLiteral("/song.mp3");
        if (oldMode != 0) {
            QVERIFY(writeBytes(target, "the earlier output"));
            QCOMPARE(::chmod(QFile::encodeName(target).constData(), mode_t(oldMode)), 0);
        }
        if (link == QLatin1String("relative")) {
            QVERIFY(QFile::link(QStringLiteral("target/song.mp3"), output));
        } else if (link == QLatin1String("loop")) {
            QVERIFY(QFile::link(output, dir + QStringLiteral("/middle.mp3")));
            QVERIFY(QFile::link(dir + QStringLiteral("/middle.mp3"), output));
        } else if (link == QLatin1String("chain")) {
            QVERIFY(QFile::link(target, dir + QStringLiteral("/middle.mp3")));
            QVERIFY(QFile::link(dir + QStringLiteral("/middle.mp3"), output));
        } else if (!link.isEmpty()) {
            QVERIFY(QFile::link(target, output));
        }
        const QStringList entries = entriesOf(dir);
        const QStringList targetEntries = entriesOf(targetDir);
        const QString linkTarget = QFileInfo(output).symLinkTarget();
        const QByteArray old = contentOf(target);
        const auto modeOf = [](const QString &file) {
            struct stat info {};
            return ::stat(QFile::encodeName(file).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
        };

        ChildConditions conditions;
        conditions.umask = umask;
        conditions.refuseUnnamedFiles = named;
        if (end == QLatin1String("full"))
            conditions.fileSizeLimit = 8192;
        if (end == QLatin1String("aborted"))
            conditions.abortAtPercent = 2;
        const QString input = end == QLatin1String("aborted") ? m_longWave : m_dir.musicWave(44100, 2, 1);
        const ChildEnd child = encodeInChildProcess(input, output, conditions);
        if (child.said == QLatin1String("unnamed files still allowed"))
            QSKIP("No seccomp filter for this processor");
        QVERIFY(child.exited);

        // The links stay as they were.
        QCOMPARE(QFileInfo(output).isSymLink(), !link.isEmpty());
        QCOMPARE(QFileInfo(output).symLinkTarget(), linkTarget);
        const bool created = oldMode == 0 && end == QLatin1String("finished");
        QCOMPARE(entriesOf(dir), created && link.isEmpty() ? QStringList({"out.mp3", "target"}) : entries);
        if (end != QLatin1String("finished")) {
            if (end != QLatin1String("aborted"))
                QVERIFY2(child.said.startsWith(QStringLiteral("failed: Cannot write ")), qPrintable(child.said));
            else // a named temporary file is there during the run
                QCOMPARE(child.said, QStringLiteral("aborted with %1 new files").arg(named ? 1 : 0));
            QCOMPARE(entriesOf(targetDir), targetEntries);
            QCOMPARE(contentOf(target), old);
            QCOMPARE(modeOf(target), oldMode != 0 ? oldMode : -1);
            return;
        }
        QCOMPARE(child.said, QStringLiteral("finished"));
        QCOMPARE(child.exitCode, 0);
        if (created && !link.isEmpty())
            QCOMPARE(entriesOf(targetDir), QStringList({"song.mp3"}));
        else
            QCOMPARE(entriesOf(targetDir), targetEntries);
        const Mp3Info mp3 = decodeMp3(target);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QCOMPARE(mp3.frames, qint64(44100));
        QCOMPARE(modeOf(target), oldMode != 0 ? oldMode : 0666 & ~umask);
    }

    void abortMidRun()
    {
        const QString dir = m_dir.freshDir(QStringLiteral("abort"));
        const QString output = dir + QStringLiteral("/out.mp3");
        QVERIFY(writeBytes(output, "the earlier output"));
        const QByteArray old = hashOf(output);
        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::InputFile, m_longWave));
        QVERIFY(encoder.write(Member::OutputFile, output));
        Recorder recorder(encoder, output);
        // Stopped from inside a progress slot, as a window would on a click.
        const auto stopper = connect(&encoder, &LameEncoderX::EncodeProgress, &recorder, [&](int percent) {
            if (percent == 1)
                QVERIFY(encoder.call(Member::Abort));
        });
        QVERIFY(encoder.call(Member::Encode));
        QTRY_VERIFY(recorder.percents.contains(1));
        QVERIFY(!encoder.isEncoding());
        QCOMPARE(entriesOf(dir), QStringList({"out.mp3"}));
        QCOMPARE(hashOf(output), old);
        QTest::qWait(300);
        QCOMPARE(recorder.percents, QList<int>({0, 1}));
        QCOMPARE(recorder.finished + recorder.failures.size(), 0);
        // The component takes a new run afterwards.
        disconnect(stopper);
        const QString shortWave = dir + QStringLiteral("/short.wav");
        QVERIFY(writeMusicWave(shortWave, 0.5));
        encodeOk(encoder, shortWave, output);
    }

    void destroyMidRun()
    {
        const QString dir = m_dir.freshDir(QStringLiteral("destroy"));
        auto encoder = std::make_unique<LameEncoderX>();
        QVERIFY(encoder->write(Member::InputFile, m_longWave));
        QVERIFY(encoder->write(Member::OutputFile, dir + QStringLiteral("/out.mp3")));
        QSignalSpy progress(encoder.get(), &LameEncoderX::EncodeProgress);
        QVERIFY(encoder->call(Member::Encode));
        QVERIFY(progress.wait());
        encoder.reset();
        QCOMPARE(entriesOf(dir), QStringList());
        QTest::qWait(50); // no event reaches the destroyed component
    }

    void busyWhileRunning()
    {
        const QString dir = m_dir.freshDir(QStringLiteral("busy"));
        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::InputFile, m_longWave));
        QVERIFY(encoder.write(Member::OutputFile, dir + QStringLiteral("/out.mp3")));
        QVERIFY(encoder.call(Member::Encode));
        QVERIFY(encoder.isEncoding());
        QVERIFY(!encoder.write(Member::Bitrate, QStringLiteral("64")));
        QVERIFY(!encoder.write(Member::OutputFile, dir + QStringLiteral("/other.mp3")));
        QVERIFY(!encoder.call(Member::Encode));
        QCOMPARE(encoder.read(Member::Bitrate), QVariant(128));
        QVERIFY(encoder.call(Member::Abort));
        QCOMPARE(entriesOf(dir), QStringList());
    }

    void nextRunFromFinishedSlot()
    {
        const QString dir = m_dir.freshDir(QStringLiteral("chain"));
        const QString input = dir + QStringLiteral("/in.wav");
        QVERIFY(writeMusicWave(input, 0.5));
        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::InputFile, input));
        QVERIFY(encoder.write(Member::OutputFile, dir + QStringLiteral("/first.mp3")));
        Recorder recorder(encoder);
        connect(&encoder, &LameEncoderX::EncodeFinished, &recorder, [&] {
            if (recorder.finished == 1) {
                QVERIFY(encoder.write(Member::OutputFile, dir + QStringLiteral("/second.mp3")));
                QVERIFY(encoder.call(Member::Encode));
            }
        });
        QVERIFY(encoder.call(Member::Encode));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.finished, 2, 30000);
        QCOMPARE(recorder.percents, zeroToHundred() + zeroToHundred());
        QCOMPARE(entriesOf(dir), QStringList({"first.mp3", "in.wav", "second.mp3"}));
    }

    void infoTagAndId3_data()
    {
        QTest::addColumn<bool>("writeInfoTag");
        QTest::addColumn<bool>("skipTags");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("id3");
        QTest::newRow("info tag") << true << false << QString() << false;
        QTest::newRow("no info tag") << false << false << QString() << false;
        QTest::newRow("info tag after ID3v2") << true << false << QStringLiteral("A Title") << true;
        QTest::newRow("non-Latin title") << true << false << QStringLiteral("Название 題名") << true;
        QTest::newRow("tags skipped") << true << true << QStringLiteral("A Title") << false;
        QTest::newRow("bare stream with tags") << false << false << QStringLiteral("A Title") << true;
    }

    void infoTagAndId3()
    {
        QFETCH(bool, writeInfoTag);
        QFETCH(bool, skipTags);
        QFETCH(QString, title);
        QFETCH(bool, id3);
        const QString input = m_dir.path(QStringLiteral("tags.wav"));
        const QString output = m_dir.path(QStringLiteral("tags.mp3"));
        const qint64 frames = 44100;
        WaveOptions shape;
        shape.frames = frames;
        QVERIFY(writeWave(input, shape));
        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::WriteInfoTag, writeInfoTag));
        QVERIFY(encoder.write(Member::SkipTags, skipTags));
        QVERIFY(encoder.write(Member::TagTitle, title));
        QVERIFY(encoder.write(Member::TagGenre, title.isEmpty() ? QString() : QStringLiteral("Rock")));
        encodeOk(encoder, input, output);

        const Mp3Info mp3 = decodeMp3(output);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QCOMPARE(mp3.hasInfoTag, writeInfoTag);
        // The loudness figures have an ID3v2 tag of their own; ID3v1 has no field for them.
        QCOMPARE(mp3.hasId3v2, !skipTags);
        QCOMPARE(mp3.hasId3v1, id3);
        if (writeInfoTag)
            QCOMPARE(mp3.frames, frames);
        else
            QVERIFY(mp3.frames > frames); // without the tag the encoder's delay and padding stay
        if (id3) {
            const QByteArray utf16(reinterpret_cast<const char *>(title.utf16()), title.size() * 2);
            const QByteArray data = contentOf(output);
            QVERIFY(data.contains(title.toLatin1()) || data.contains(utf16));
        }
    }
};

int main(int argc, char *argv[])
{
    if (int exitCode = 0; runEncodeChild(argc, argv, &exitCode))
        return exitCode;
    QCoreApplication app(argc, argv);
    TestEncoder test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_encoder.moc"
