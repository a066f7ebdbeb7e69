#pragma once

#include "encoder/core/result.h"
#include "encoder/core/tagfields.h"
#include "encoder/tags/tagset.h"

#include <QString>

#include <optional>
#include <vector>

// --name's template, "{albumartist}/{album}/{track:02} {title}": an MP3's path from its tags,
// each tag named by its words in lower case run together ("Album Artist": albumartist), its
// slashes making folders.
class NameTemplate
{
public:
    // The template, or why it is none: empty, a key that is no tag's, a brace left open, an
    // empty name between slashes.
    static Result<NameTemplate> read(const QString &text);

    // The path the tags give, without an extension. A field's text has what a file name cannot
    // hold replaced by "_" (a slash, a control character), its number padded with zeros to the
    // field's width ("3/12" with :02 gives "03"); an empty one is "Unknown Album" and the like
    // (an album artist, the artist's first); a name "." or ".." becomes "_" or "__".
    QString expand(const TagSet &tags) const;

    // As it was given.
    const QString &text() const { return m_text; }

    // "title, artist, ...": every key, in the tag table's order.
    static QString keys();

private:
    struct Part
    {
        QString text;              // a literal part
        std::optional<TagKey> key; // or a field
        int width = 0;
    };
    std::vector<Part> m_parts;
    QString m_text;
};
