#pragma once

#include "encodersettings.h"
#include "members.h"

#include <cstddef>
#include <span>

// Where a tag text goes in the 128-byte ID3v1.1 tag; None for a text ID3v1 has no field for.
enum class Id3v1Field { None, Title, Artist, Album, Year, Genre, Comment, Track };

// Every tag text an MP3 of ours can carry, in the order the ID3v2 tag holds their frames, the
// typed ones first. Count is no text: the number of them.
enum class TagKey {
    Title,
    Artist,
    Album,
    Year,
    Genre,
    Track,
    Disc,
    AlbumArtist,
    Composer,
    Comment,
    EncodedBy,
    Isrc,
    Barcode,
    Count
};

inline constexpr std::size_t kTagKeys = static_cast<std::size_t>(TagKey::Count);

// One tag text: its member and the setting that holds it (for the texts a person types), its
// ID3v2.3 frame (a TXXX frame with its description), its ID3v1 field, the ids a WAVE's INFO
// chunk and the names a FLAC's Vorbis comment hold it under, the usual one first, and its name in
// words.
struct TagField
{
    TagKey key;
    EncoderMember member; // kNoMember for a text only a source file gives
    const char *name;
    QString EncoderSettings::*text; // nullptr without a member
    const char *id3v2Frame;
    Id3v1Field id3v1;
    const char *infoIds[2];
    const char *vorbisNames[2];
    const char *words; // as people name it, "Album Artist"; in lower case run together, a file name's key
    const char *description = nullptr; // a TXXX frame's

    constexpr bool typed() const;
};

inline constexpr EncoderMember kNoMember {};

constexpr bool TagField::typed() const
{
    return member != kNoMember;
}

// The tag texts the component's members hold, in the order the ID3v2 tag holds their frames.
std::span<const TagField> tagFields();
// Every tag text, the members' first, in the order the ID3v2 tag holds their frames.
std::span<const TagField> allTagFields();
const TagField &tagField(TagKey key);
