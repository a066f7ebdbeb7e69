#include "id3tags.h"

#include <vector>

namespace {

struct Field
{
    const QString EncoderSettings::*text;
    const char *frameId;
    void (*setLatin1)(lame_t, const char *);
};

const Field kFields[] = {
    {&EncoderSettings::tagTitle, "TIT2", id3tag_set_title},
    {&EncoderSettings::tagArtist, "TPE1", id3tag_set_artist},
    {&EncoderSettings::tagAlbum, "TALB", id3tag_set_album},
    {&EncoderSettings::tagYear, "TYER", id3tag_set_year},
};

bool isLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return false;
    }
    return true;
}

// Text beyond Latin-1 goes into the ID3v2 tag only, as UTF-16 (lame wants the byte-order
// mark first); ID3v1 cannot hold it.
void setUtf16(lame_t lame, const char *frameId, const QString &text)
{
    std::vector<unsigned short> units;
    units.reserve(text.size() + 2);
    units.push_back(0xfeff);
    for (const QChar c : text)
        units.push_back(c.unicode());
    units.push_back(0);
    id3tag_set_textinfo_utf16(lame, frameId, units.data());
}

} // namespace

bool hasTagText(const EncoderSettings &settings)
{
    for (const Field &field : kFields) {
        if (!(settings.*field.text).isEmpty())
            return true;
    }
    return !settings.tagGenre.isEmpty();
}

void setId3Tags(lame_t lame, const EncoderSettings &settings)
{
    if (!hasTagText(settings))
        return;
    id3tag_init(lame);
    // Always an ID3v2 tag as well: players prefer it, and it holds long and non-Latin text.
    id3tag_add_v2(lame);
    for (const Field &field : kFields) {
        const QString &text = settings.*field.text;
        if (text.isEmpty())
            continue;
        if (isLatin1(text))
            field.setLatin1(lame, text.toLatin1().constData());
        else
            setUtf16(lame, field.frameId, text);
    }
    // A genre lame does not know by name is kept as text in the ID3v2 tag.
    const QString &genre = settings.tagGenre;
    if (!genre.isEmpty()) {
        if (!isLatin1(genre) || id3tag_set_genre(lame, genre.toLatin1().constData()) != 0)
            setUtf16(lame, "TCON", genre);
    }
}
