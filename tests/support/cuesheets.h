#pragma once

#include <QByteArray>
#include <QString>

// CUE sheets as rippers write them, in each text encoding sheets come in.
enum class CueEncoding { Utf8, Utf8Bom, Utf16LeBom, Utf16BeBom, Windows1252 };

// A sheet of three tracks of the image `wave`, with album texts, REM lines, ISRCs and letters of
// Windows-1252 (’ among them): track 1 at 00:00:33, tracks 2 and 3 at 00:03:50 and 00:06:70
// after INDEX 00 at 00:03:00 and 00:06:10. Its lines end in CR LF where crlf.
QString sampleCueSheet(const QString &wave, bool crlf = false);
// The text in the encoding, with its byte-order mark; empty where Windows-1252 cannot hold it.
QByteArray cueBytes(const QString &text, CueEncoding encoding);
// sampleCueSheet written to path.
bool writeCueSheet(const QString &path, const QString &wave, CueEncoding encoding);
