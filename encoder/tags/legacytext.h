#pragma once

#include <QByteArray>
#include <QString>

// Text of an INFO or bext field: UTF-8 where it is valid, else Windows-1252; cut at the first NUL.
QString decodeLegacyText(const QByteArray &bytes);
