#pragma once

#include "tagset.h"

#include <QString>
#include <QStringList>

#include <optional>

// The largest picture kept from a source or a cover file; larger ones are left out.
inline constexpr qint64 kMaxPictureBytes = 16 << 20;

// A limit of whole megabytes as the messages give it, "16 MB".
QString megabytes(qint64 bytes);

// A cover picture file: a JPEG or a PNG by its signature, at most kMaxPictureBytes.
std::optional<Picture> readCover(const QString &path, QString *why);

// The cover in the folder of inputFile: the first of cover, folder and front, each .jpg then
// .png, in any letter case, that is a readable JPEG or PNG. One larger than kMaxPictureBytes is
// left out with a line in warnings.
std::optional<Picture> folderCover(const QString &inputFile, QStringList &warnings);

// The folder's cover files as folderCover would try them, each by its name, size and time: where
// it is as it was, so is the picture, and nothing was read to tell. Nothing where one of them
// changed within the sources' clock's window (SourcesClock): its size and time prove nothing yet.
std::optional<QByteArray> folderCoverStamp(const QString &folder);
