#pragma once

#include <QString>

// Whether two files hold the same bytes; false where either cannot be read.
bool sameBytes(const QString &a, const QString &b);
// The file moved to the desktop's trash; false where it stays where it was.
bool moveToTrash(const QString &path);
