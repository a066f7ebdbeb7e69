#pragma once

#include <QString>

// The mirror's own files in its folder, beside the MP3s.
namespace MirrorFolder {
inline const QString kRecord = QStringLiteral(".sonovert-mirror.sqlite");
// Where an MP3 is made to be compared with one already there without its record.
inline const QString kCheckFolder = QStringLiteral(".sonovert-mirror-check");
// Where the mirror jobs of other machines write (--list): a mirror of each folder listed.
inline const QString kIncoming = QStringLiteral(".sonovert-incoming");
} // namespace MirrorFolder
