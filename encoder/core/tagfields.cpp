#include "tagfields.h"

#include <algorithm>
#include <iterator>

namespace {

using M = EncoderMember;
using V1 = Id3v1Field;
using S = EncoderSettings;
using K = TagKey;

// One row for each TagKey, in its order. A new typed text is one row here with a member and a
// setting, and one box in the tag editor; a text only read from source files is a row without.
constexpr TagField kTagFields[] = {
    {K::Title, M::TagTitle, "TagTitle", &S::tagTitle, "TIT2", V1::Title, {"INAM", nullptr}, {"TITLE", nullptr},
     "Title"},
    {K::Artist, M::TagArtist, "TagArtist", &S::tagArtist, "TPE1", V1::Artist, {"IART", nullptr}, {"ARTIST", nullptr},
     "Artist"},
    {K::Album, M::TagAlbum, "TagAlbum", &S::tagAlbum, "TALB", V1::Album, {"IPRD", nullptr}, {"ALBUM", nullptr},
     "Album"},
    {K::Year, M::TagYear, "TagYear", &S::tagYear, "TYER", V1::Year, {"ICRD", nullptr}, {"DATE", nullptr}, "Year"},
    {K::Genre, M::TagGenre, "TagGenre", &S::tagGenre, "TCON", V1::Genre, {"IGNR", nullptr}, {"GENRE", nullptr},
     "Genre"},
    // ffmpeg writes the track number as IPRT, other tools as ITRK.
    {K::Track, kNoMember, "Track", nullptr, "TRCK", V1::Track, {"ITRK", "IPRT"}, {"TRACKNUMBER", nullptr}, "Track"},
    {K::Disc, kNoMember, "Disc", nullptr, "TPOS", V1::None, {nullptr, nullptr}, {"DISCNUMBER", nullptr}, "Disc"},
    {K::AlbumArtist, kNoMember, "AlbumArtist", nullptr, "TPE2", V1::None, {nullptr, nullptr},
     {"ALBUMARTIST", "ALBUM ARTIST"}, "Album Artist"},
    {K::Composer, kNoMember, "Composer", nullptr, "TCOM", V1::None, {"IMUS", nullptr}, {"COMPOSER", nullptr},
     "Composer"},
    {K::Comment, kNoMember, "Comment", nullptr, "COMM", V1::Comment, {"ICMT", nullptr}, {"COMMENT", "DESCRIPTION"},
     "Comment"},
    {K::EncodedBy, kNoMember, "EncodedBy", nullptr, "TENC", V1::None, {"ITCH", nullptr}, {nullptr, nullptr},
     "Encoded By"},
    {K::Isrc, kNoMember, "Isrc", nullptr, "TSRC", V1::None, {nullptr, nullptr}, {"ISRC", nullptr}, "ISRC"},
    {K::Barcode, kNoMember, "Barcode", nullptr, "TXXX", V1::None, {nullptr, nullptr}, {"BARCODE", nullptr},
     "Barcode", "BARCODE"},
};

static_assert(std::size(kTagFields) == kTagKeys, "one row for each TagKey");

constexpr bool rowsInKeyOrder()
{
    for (std::size_t i = 0; i < std::size(kTagFields); ++i) {
        if (kTagFields[i].key != static_cast<TagKey>(i))
            return false;
    }
    return true;
}
static_assert(rowsInKeyOrder(), "each row at its key's index");

constexpr std::size_t kTyped = static_cast<std::size_t>(std::ranges::count_if(kTagFields, &TagField::typed));

// tagFields() is the table's start: the typed rows, each with its setting, come first.
constexpr bool typedRowsFirst()
{
    for (std::size_t i = 0; i < std::size(kTagFields); ++i) {
        const TagField &field = kTagFields[i];
        if (field.typed() != (i < kTyped) || field.typed() != (field.text != nullptr))
            return false;
    }
    return true;
}
static_assert(typedRowsFirst(), "the typed rows first, and only they with a setting");

} // namespace

std::span<const TagField> tagFields()
{
    return std::span<const TagField>(kTagFields).first(kTyped);
}

std::span<const TagField> allTagFields()
{
    return kTagFields;
}

const TagField &tagField(TagKey key)
{
    Q_ASSERT(key != TagKey::Count);
    return kTagFields[static_cast<std::size_t>(key)];
}
