#pragma once

#include "tagset.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The largest picture kept from a source or a cover file; larger ones are left out.
inline constexpr qint64 kMaxPictureBytes = 16 << 20;

// What reading a source file's tags gave: the tags of each place, and one line for each part
// left out as damaged or too large.
struct SourceTagRead
{
    SourceTags tags;
    QStringList warnings;
};

// Reads the INFO, id3 (or ID3) and bext chunks of a RIFF or RF64 WAVE file. Never fails: a
// file that is no such WAVE has no tags, a damaged chunk is left out with a warning.
SourceTagRead readSourceTags(const QString &path);
// The same from the file's bytes.
SourceTagRead readSourceTags(const QByteArray &file);

// A cover picture file: a JPEG or a PNG by its signature, at most kMaxPictureBytes.
std::optional<Picture> readCover(const QString &path, QString *why);

// Text of an INFO or bext field: UTF-8 where it is valid, else Windows-1252; cut at the first NUL.
QString decodeLegacyText(const QByteArray &bytes);
