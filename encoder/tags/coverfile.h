#pragma once

#include "tagset.h"

#include <QString>

#include <optional>

// The largest picture kept from a source or a cover file; larger ones are left out.
inline constexpr qint64 kMaxPictureBytes = 16 << 20;

// A limit of whole megabytes as the messages give it, "16 MB".
QString megabytes(qint64 bytes);

// A cover picture file: a JPEG or a PNG by its signature, at most kMaxPictureBytes.
std::optional<Picture> readCover(const QString &path, QString *why);
