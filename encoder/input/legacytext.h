#pragma once

#include <QByteArray>
#include <QString>

// Text as older tools write it (INFO and bext fields, CUE sheets): UTF-8 where it is valid,
// else Windows-1252; cut at the first NUL.
QString decodeLegacyText(const QByteArray &bytes);
