#include "tagset.h"

#include <algorithm>

void TagSet::setText(TagKey key, QString text)
{
    // A NUL would end the text early in every reader.
    text.remove(QChar(0));
    if (text.isEmpty())
        texts.erase(key);
    else
        texts[key] = std::move(text);
}

QString startingYear(const QString &date)
{
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    if (date.size() > 4 && std::all_of(date.begin(), date.begin() + 4, digit) && !digit(date[4]))
        return date.left(4);
    return QString();
}

TagSet mergeTags(const EncoderSettings &settings, const SourceTags *source, const Picture *cover)
{
    TagSet merged;
    for (const TagField &field : allTagFields()) {
        if (field.text)
            merged.setText(field.key, settings.*field.text);
        if (!source || merged.texts.contains(field.key))
            continue;
        for (const TagSet *place : {&source->sheet, &source->id3, &source->vorbis, &source->info, &source->bext}) {
            merged.setText(field.key, place->text(field.key));
            if (merged.texts.contains(field.key))
                break;
        }
    }
    if (source) {
        merged.pictures = source->id3.pictures;
        merged.pictures.insert(merged.pictures.end(), source->vorbis.pictures.begin(), source->vorbis.pictures.end());
    }
    if (cover) {
        std::erase_if(merged.pictures, [cover](const Picture &p) { return p.type == cover->type; });
        merged.pictures.insert(merged.pictures.begin(), *cover);
    }
    return merged;
}
