#pragma once

#include <QByteArray>
#include <QString>

// CUE sheets as rippers write them, in each text encoding sheets come in.
enum class CueEncoding { Utf8, Utf8Bom, Utf16LeBom, Utf16BeBom, Windows1252, Utf16Le, Utf32Le };

// A sheet of three tracks of the image `wave`, with album texts, REM lines, ISRCs and letters of
// Windows-1252 (’ among them): track 1 at 00:00:33, tracks 2 and 3 at 00:03:50 and 00:06:70
// after INDEX 00 at 00:03:00 and 00:06:10. Its lines end in CR LF where crlf.
QString sampleCueSheet(const QString &wave, bool crlf = false);
// The text in the encoding, with its byte-order mark where named; empty where Windows-1252
// cannot hold it.
QByteArray cueBytes(const QString &text, CueEncoding encoding);
// sampleCueSheet written to path.
bool writeCueSheet(const QString &path, const QString &wave, CueEncoding encoding);

// Sheets of the shapes people have, as rippers and their users wrote them.
enum class CueShape {
    GapsAppended,  // one file a track, each gap in the file before it
    GapsLeftOut,   // one file a track, the gaps in none (PREGAP)
    NonCompliant,  // one file a track, a track's INDEX 00 at the end of the file before it
    DoubleAlbum,   // two images, the second's first track after a gap at its start
    Unquoted,      // unquoted FILE names with spaces, one a Windows path
    MixedMode,     // a CD's raw image: a data track, then AUDIO tracks
    Motorola,      // a raw image of big-endian samples
    TrackDate,     // a track's own REM DATE
    Windows1251,   // Cyrillic in Windows-1251
    ShiftJis,      // Japanese in Shift-JIS
};
QByteArray cueShape(CueShape shape);
