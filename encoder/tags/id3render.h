#pragma once

#include "tagset.h"
#include "encoder/core/trackgain.h"

#include <QByteArray>

#include <functional>
#include <optional>

// The tags around the audio, rendered by TagLib. Texts go in exactly as held, which lame's own
// tag writer would not do (it turns "17" into "Rock" and "200" into nothing).

// The most an ID3v2 tag holds after its header: its size has 28 bits.
inline constexpr qint64 kMaxId3v2Body = 0x0fffffff;

// Which ID3 tags an MP3 gets: ID3v2.3 or 2.4, and the ID3v1 tag or none.
struct Id3Form
{
    int version = 3;
    bool v1 = true;
};

// An ID3v2.3 tag (2.4 with version 4, its year then in TDRC) with one frame for each text and
// picture: text in ISO-8859-1 where it fits, else UTF-16; the loudness figures, when given, as TXXX REPLAYGAIN_TRACK_GAIN and _PEAK, and
// the album's as REPLAYGAIN_ALBUM_GAIN and _PEAK. Without padding, or padded to size bytes when
// size is larger. Empty when there is nothing to carry; nothing when the tag would be too long
// for any ID3v2 tag.
std::optional<QByteArray> renderId3v2(const TagSet &tags, const std::optional<TrackGain> &gain = std::nullopt,
                                      qsizetype size = 0, const std::optional<TrackGain> &albumGain = std::nullopt,
                                      int version = 3);

// The 128-byte ID3v1.1 tag: each text that fits Latin-1, cut to its field; a text that does not
// fit leaves its field empty rather than turning letters into '?'. Empty when nothing fits.
// A genre goes in as the number genreNumber gives its name, 255 for none.
using GenreNumber = std::function<unsigned char(const QString &genre)>;
QByteArray renderId3v1(const TagSet &tags, const GenreNumber &genreNumber);

// The tags of one MP3, rendered once when a run starts: its ID3v2 tag, again with loudness
// figures after the audio, and its ID3v1 tag. Default-constructed it carries none.
class Mp3Tags
{
public:
    Mp3Tags() = default;
    // Nothing when the ID3v2 tag would be too long. With albumRoom, the room also holds the
    // album's figures, written once every track of the album is measured.
    static std::optional<Mp3Tags> render(TagSet tags, const GenreNumber &genreNumber, bool albumRoom = false,
                                         Id3Form form = {});

    const QByteArray &id3v2() const { return m_id3v2; }
    const QByteArray &id3v1() const { return m_id3v1; }
    // The ID3v2 tag with room for any figures, written ahead of the audio they are measured on.
    const QByteArray &id3v2WithRoom() const { return m_room; }
    // The tag to write over id3v2WithRoom() once the figures are known (or known to be none):
    // exactly as long, the figures left out where they would not fit.
    QByteArray id3v2Final(const std::optional<TrackGain> &gain,
                          const std::optional<TrackGain> &albumGain = std::nullopt) const;

private:
    TagSet m_tags;
    int m_version = 3;
    QByteArray m_id3v2;
    QByteArray m_id3v1;
    QByteArray m_room;
};
