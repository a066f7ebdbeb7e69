#include "cuesheets.h"

#include <QFile>
#include <QStringEncoder>

QString sampleCueSheet(const QString &wave, bool crlf)
{
    const QString text = QStringLiteral(R"(REM GENRE "Musique concrète"
REM DATE 2003-04-01
REM DISCNUMBER 1
REM TOTALDISCS 2
REM COMMENT "Ripped for Sonovert"
CATALOG 0724384260927
PERFORMER "Les Étoiles"
TITLE "Café ’Nuit’"
SONGWRITER "Zoë Keller"
FILE "%1" WAVE
  TRACK 01 AUDIO
    TITLE "Première"
    ISRC FRZ039800001
    INDEX 01 00:00:33
  TRACK 02 AUDIO
    TITLE "Über alles"
    PERFORMER "Guest Star"
    SONGWRITER "Anon"
    REM COMMENT "Live take"
    FLAGS DCP
    ISRC FRZ039800002
    INDEX 00 00:03:00
    INDEX 01 00:03:50
  TRACK 03 AUDIO
    TITLE "L’été"
    PREGAP 00:00:10
    ISRC FRZ039800003
    INDEX 00 00:06:10
    INDEX 01 00:06:70
    INDEX 02 00:07:00
    POSTGAP 00:00:05
)")
                             .arg(wave);
    return crlf ? QString(text).replace(u'\n', QLatin1String("\r\n")) : text;
}

QByteArray cueBytes(const QString &text, CueEncoding encoding)
{
    switch (encoding) {
    case CueEncoding::Utf8:
        return text.toUtf8();
    case CueEncoding::Utf8Bom:
        return "\xef\xbb\xbf" + text.toUtf8();
    case CueEncoding::Utf16LeBom:
        return QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom)(text);
    case CueEncoding::Utf16BeBom:
        return QStringEncoder(QStringEncoder::Utf16BE, QStringEncoder::Flag::WriteBom)(text);
    case CueEncoding::Utf16Le:
        return QStringEncoder(QStringEncoder::Utf16LE)(text);
    case CueEncoding::Utf32Le:
        return QStringEncoder(QStringEncoder::Utf32LE)(text);
    case CueEncoding::Windows1252:
        break;
    }
    QStringEncoder windows1252("windows-1252");
    const QByteArray bytes = windows1252(text);
    return windows1252.hasError() ? QByteArray() : bytes;
}

bool writeCueSheet(const QString &path, const QString &wave, CueEncoding encoding)
{
    const QByteArray bytes = cueBytes(sampleCueSheet(wave), encoding);
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(bytes) == bytes.size();
}

QByteArray cueShape(CueShape shape)
{
    switch (shape) {
    case CueShape::GapsAppended:
        return "PERFORMER Band\nTITLE \"Separate\"\n"
               "FILE \"01 One.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE One\n    INDEX 01 00:00:00\n"
               "FILE \"02 Two.flac\" WAVE\n  TRACK 02 AUDIO\n    TITLE Two\n    INDEX 01 00:00:00\n"
               "FILE \"03 Three.wav\" WAVE\n  TRACK 03 AUDIO\n    TITLE Three\n    INDEX 01 00:00:00\n";
    case CueShape::GapsLeftOut:
        return "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
               "FILE \"02.wav\" WAVE\n  TRACK 02 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"
               "FILE \"03.wav\" WAVE\n  TRACK 03 AUDIO\n    PREGAP 00:01:37\n    INDEX 01 00:00:00\n";
    case CueShape::NonCompliant:
        return "PERFORMER Band\nTITLE \"Separate\"\n"
               "FILE \"01 One.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE One\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    TITLE Two\n    INDEX 00 00:04:00\n"
               "FILE \"02 Two.flac\" WAVE\n    INDEX 01 00:00:00\n"
               "  TRACK 03 AUDIO\n    TITLE Three\n    INDEX 00 00:03:00\n"
               "FILE \"03 Three.wav\" WAVE\n    INDEX 01 00:00:00\n";
    case CueShape::DoubleAlbum:
        return "TITLE Double\n"
               "FILE \"CD1.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    INDEX 00 00:02:00\n    INDEX 01 00:02:50\n"
               "FILE \"CD2.flac\" WAVE\n  TRACK 03 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:01:00\n"
               "  TRACK 04 AUDIO\n    INDEX 01 00:03:00\n";
    case CueShape::Unquoted:
        return "FILE my song.wav WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
               "FILE C:\\Rips\\The Band - Live\\02 - Encore.wav WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
               "FILE bare.wav\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n";
    case CueShape::MixedMode:
        return "FILE \"game.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    INDEX 00 00:10:00\n    INDEX 01 00:12:00\n"
               "  TRACK 03 AUDIO\n    INDEX 01 00:20:00\n";
    case CueShape::Motorola:
        return "FILE \"disc.raw\" MOTOROLA\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    INDEX 01 00:00:40\n";
    case CueShape::TrackDate:
        return "REM DATE 1990\nFILE a.wav WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    REM DATE 1994-05-02\n    INDEX 01 00:10:00\n";
    case CueShape::Windows1251:
        return "PERFORMER \"\xca\xe8\xed\xee\"\nTITLE \"\xc3\xf0\xf3\xef\xef\xe0 \xea\xf0\xee\xe2\xe8\"\n"
               "FILE \"01 \xd2\xf0\xe5\xea 01.wav\" WAVE\n  TRACK 01 AUDIO\n"
               "    TITLE \"\xc7\xe2\xe5\xe7\xe4\xe0 \xef\xee \xe8\xec\xe5\xed\xe8 \xd1\xee\xeb\xed\xf6\xe5\"\n"
               "    INDEX 01 00:00:00\n";
    case CueShape::ShiftJis:
        return "PERFORMER \"\x82\xcd\x82\xc1\x82\xd2\x82\xa2\x82\xa6\x82\xf1\x82\xc7\"\n"
               "TITLE \"\x95\x97\x8aX\x82\xeb\x82\xdc\x82\xf1\"\n"
               "FILE \"01 \x83g\x83\x89\x83" "b\x83N.wav\" WAVE\n  TRACK 01 AUDIO\n"
               "    TITLE \"\x95\x97\x82\xf0\x82\xa0\x82\xc2\x82\xdf\x82\xc4\"\n    INDEX 01 00:00:00\n";
    }
    return {};
}
