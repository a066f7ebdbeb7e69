// CUE sheets: the same sheet from every text encoding, the tracks' cuts at exact sample frames
// for each pregap choice, and damaged sheets refused naming their line (a track's tags are
// checked in the MP3s of tst_batch's images).
#include "encoder/input/cuecuts.h"
#include "encoder/input/cuesheet.h"
#include "cuesheets.h"

#include <QtTest>

namespace {

// File, type, catalog, title, performer, songwriter, date, genre, comment, disc, total discs;
// each track's number, line, title, performer, songwriter, ISRC, comment, INDEX 00, INDEX 01;
// FILE's line.
const CueSheet kSample {"image.wav", "WAVE", "0724384260927", "Café ’Nuit’", "Les Étoiles", "Zoë Keller", "2003-04-01",
                        "Musique concrète", "Ripped for Sonovert", "1", "2",
                        {{1, 11, "Première", "", "", "FRZ039800001", "", std::nullopt, {33, 14}},
                         {2, 15, "Über alles", "Guest Star", "Anon", "FRZ039800002", "Live take", CueIndex {225, 22},
                          {275, 23}},
                         {3, 24, "L’été", "", "", "FRZ039800003", "", CueIndex {460, 28}, {520, 29}}},
                        10};

const QByteArray kSampleUtf8 = cueBytes(sampleCueSheet("image.wav"), CueEncoding::Utf8);

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
        QTest::newRow("second FILE") << one + "FILE b.wav WAVE\n" << 4 << "sheets of several files";
        QTest::newRow("no TRACK") << QByteArray("REM\nFILE a.wav WAVE\n") << 2 << "without a TRACK";
        QTest::newRow("no INDEX 01") << QByteArray("FILE a\nTRACK 01 AUDIO\nINDEX 00 00:00:00\nTRACK 02 AUDIO\n") << 2
                                     << "track 1 has no INDEX 01";
        QTest::newRow("INDEX 01 not after the last") << one + "TRACK 02 AUDIO\nINDEX 01 00:02:00\n"
                                                     << 5 << "not after track 1's INDEX 01 at 00:02:00";
        QTest::newRow("INDEX 00 after INDEX 01") << one + "INDEX 00 00:03:00\n" << 4 << "INDEX 00 after INDEX 01";
        QTest::newRow("seconds") << QByteArray(one).replace("00:02:00", "00:60:00") << 3 << "malformed time";
        QTest::newRow("numbers not increasing") << one + "TRACK 01 AUDIO\n" << 4 << "numbers must increase";
        QTest::newRow("data track") << one + "TRACK 02 MODE1/2352\n" << 4 << "only AUDIO";
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
};

QTEST_GUILESS_MAIN(TestCueSheet)
#include "tst_cuesheet.moc"
