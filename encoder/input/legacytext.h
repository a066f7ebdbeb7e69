#pragma once

#include <QByteArray>
#include <QString>

// Text as older tools write it (INFO and bext fields, CUE sheets): UTF-8 where it is valid,
// else Windows-1252; cut at the first NUL.
QString decodeLegacyText(const QByteArray &bytes);

// A whole text file of unknown encoding (a CUE sheet): by its byte-order mark; UTF-32 and UTF-16
// without one by where their NUL bytes fall; UTF-8 where it is valid; else the legacy code page
// uchardet finds (Windows-1250/1251, KOI8-R, Shift-JIS, GBK, Big5, ...), Windows-1252 where it
// finds none. charset, where given, is used instead (an iconv name). A NUL of a text that is
// none of these is kept, for the caller to refuse.
QString decodeTextFile(const QByteArray &bytes, const QByteArray &charset = {});

// Whether iconv converts from the encoding named.
bool isKnownCharset(const QByteArray &charset);
