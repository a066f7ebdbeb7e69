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
