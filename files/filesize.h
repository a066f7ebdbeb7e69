#pragma once

#include <QString>

#include <optional>

namespace Module1 {
// The length of the named file in bytes as plain decimal digits (64-bit, so files over 2 GiB
// are measured right); nothing when it is not a file whose length can be read.
std::optional<QString> FormatFileSize(const QString &path);
} // namespace Module1
