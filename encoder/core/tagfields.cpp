#include "tagfields.h"

namespace {

using M = EncoderMember;
using V1 = Id3v1Field;
using S = EncoderSettings;

// A new tag text is one row here, one setting, and one box of that name in the editor's form.
const TagField kTagFields[] = {
    {M::TagTitle, "TagTitle", &S::tagTitle, "TIT2", V1::Title, "Text2"},
    {M::TagArtist, "TagArtist", &S::tagArtist, "TPE1", V1::Artist, "Text1"},
    {M::TagAlbum, "TagAlbum", &S::tagAlbum, "TALB", V1::Album, "Text3"},
    {M::TagYear, "TagYear", &S::tagYear, "TYER", V1::Year, "Text5"},
    {M::TagGenre, "TagGenre", &S::tagGenre, "TCON", V1::Genre, "Text4"},
};

} // namespace

std::span<const TagField> tagFields()
{
    return kTagFields;
}
