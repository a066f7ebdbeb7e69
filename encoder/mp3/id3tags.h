#pragma once

#include "encoder/core/encodersettings.h"

#include <QByteArray>

#include <functional>
#include <optional>

// The tags around the audio. They are built here rather than by lame, which would turn a genre
// into the nearest name of its own list ("17" into "Rock", "Hip Hop" into "Hip-Hop", "200"
// into nothing) and a year into a number.

// An ID3v2.3 tag with one text frame for each tag text that is not empty, the text exactly as
// held: ISO-8859-1 where it fits, else UTF-16. Empty when every text is empty; nothing when the
// texts are too long for any ID3v2 tag.
std::optional<QByteArray> id3v2Tag(const EncoderSettings &settings);

// The 128-byte ID3v1 tag: each text that fits Latin-1, cut to its field; a text that does not
// fit leaves its field empty rather than turning letters into '?'. Empty when nothing fits.
// A genre goes in as the number genreNumber gives its name, 255 for none.
using GenreNumber = std::function<unsigned char(const QString &genre)>;
QByteArray id3v1Tag(const EncoderSettings &settings, const GenreNumber &genreNumber);
