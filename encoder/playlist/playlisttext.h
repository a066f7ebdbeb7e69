#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// An M3U playlist's lines and how they were stored, so that it is written back the same way.
enum class PlaylistEncoding { Utf8, Windows1252 };

struct PlaylistText
{
    QStringList lines; // without their ends
    PlaylistEncoding encoding = PlaylistEncoding::Utf8;
    bool bom = false; // UTF-8 opened with a byte-order mark
    bool crlf = false; // lines ended by CR LF
};

// An .m3u8 is UTF-8; an .m3u is UTF-8 where it is valid UTF-8, else Windows-1252.
PlaylistText readPlaylistText(const QByteArray &bytes, bool m3u8);

// The lines in text's encoding and ends. Where a line does not fit Windows-1252 the whole text
// is UTF-8 instead, and *asUtf8 says so.
QByteArray playlistBytes(const PlaylistText &text, bool *asUtf8 = nullptr);

// Whether a file's name is a playlist's (.m3u, .m3u8, any letter case), and an UTF-8 one.
bool isPlaylistFileName(const QString &name);
bool isM3u8FileName(const QString &name);
