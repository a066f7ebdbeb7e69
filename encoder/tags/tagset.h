#pragma once

#include "encoder/core/encodersettings.h"
#include "encoder/core/tagfields.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <vector>

// The APIC picture type of the front cover.
inline constexpr int kFrontCover = 3;

// An attached picture as an ID3v2 APIC frame holds it.
struct Picture
{
    int type = kFrontCover; // the APIC picture type
    QString mimeType;
    QString description;
    QByteArray data;
    bool operator==(const Picture &) const = default;
};

// The tags one MP3 gets, or one place of a source file holds.
struct TagSet
{
    std::map<TagKey, QString> texts; // no empty texts
    std::vector<Picture> pictures;

    bool empty() const { return texts.empty() && pictures.empty(); }
    QString text(TagKey key) const
    {
        const auto found = texts.find(key);
        return found == texts.end() ? QString() : found->second;
    }
    // Sets a text, NULs removed; an empty text removes the key.
    void setText(TagKey key, QString text);
};

// The tags a source file holds, by where it holds them.
struct SourceTags
{
    TagSet sheet; // a CD image's track: what its CUE sheet says of it
    TagSet id3;  // a WAVE's id3 or ID3 chunk, an AIFF's ID3 chunk
    TagSet vorbis; // a FLAC's Vorbis comment and picture blocks
    TagSet info; // a WAVE's LIST/INFO chunk
    TagSet bext; // a WAVE's broadcast extension chunk

    bool hasPictures() const { return !id3.pictures.empty() || !vorbis.pictures.empty(); }
};

// Per text: the typed one where it is not empty, else the CUE sheet's, else the file's own: the
// id3 chunk's, else the Vorbis comment's, else INFO's, else bext's. The pictures are the file's
// (its id3 chunk's or its FLAC picture blocks); a cover, when given, takes the front cover's place.
TagSet mergeTags(const EncoderSettings &settings, const SourceTags *source, const Picture *cover = nullptr);

// The year a longer date starts with, "2019" of "2019-05-01" or "2019 spring"; empty unless
// the text is four figures followed by something other than a figure.
QString startingYear(const QString &date);
