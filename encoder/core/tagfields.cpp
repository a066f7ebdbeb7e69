#include "tagfields.h"

namespace {

using M = EncoderMember;
using V1 = Id3v1Field;
using S = EncoderSettings;
using K = TagKey;

// A new typed text is one row here, one setting, and one box of that name in the editor's
// form; a text only read from source files is a row without them.
const TagField kTagFields[] = {
    {K::Title, M::TagTitle, "TagTitle", &S::tagTitle, "TIT2", V1::Title, "Text2", {"INAM", nullptr}},
    {K::Artist, M::TagArtist, "TagArtist", &S::tagArtist, "TPE1", V1::Artist, "Text1", {"IART", nullptr}},
    {K::Album, M::TagAlbum, "TagAlbum", &S::tagAlbum, "TALB", V1::Album, "Text3", {"IPRD", nullptr}},
    {K::Year, M::TagYear, "TagYear", &S::tagYear, "TYER", V1::Year, "Text5", {"ICRD", nullptr}},
    {K::Genre, M::TagGenre, "TagGenre", &S::tagGenre, "TCON", V1::Genre, "Text4", {"IGNR", nullptr}},
    // ffmpeg writes the track number as IPRT, other tools as ITRK.
    {K::Track, kNoMember, "Track", nullptr, "TRCK", V1::Track, nullptr, {"ITRK", "IPRT"}},
    {K::Disc, kNoMember, "Disc", nullptr, "TPOS", V1::None, nullptr, {nullptr, nullptr}},
    {K::AlbumArtist, kNoMember, "AlbumArtist", nullptr, "TPE2", V1::None, nullptr, {nullptr, nullptr}},
    {K::Composer, kNoMember, "Composer", nullptr, "TCOM", V1::None, nullptr, {"IMUS", nullptr}},
    {K::Comment, kNoMember, "Comment", nullptr, "COMM", V1::Comment, nullptr, {"ICMT", nullptr}},
    {K::EncodedBy, kNoMember, "EncodedBy", nullptr, "TENC", V1::None, nullptr, {"ITCH", nullptr}},
};

constexpr std::size_t kTyped = 5;

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
    for (const TagField &field : kTagFields) {
        if (field.key == key)
            return field;
    }
    return kTagFields[0];
}
