#pragma once

#include "encodersettings.h"
#include "members.h"

#include <span>

// Where a tag text goes in the 128-byte ID3v1 tag; None for a text ID3v1 has no field for.
enum class Id3v1Field { None, Title, Artist, Album, Year, Genre };

// One tag text: its member, the setting that holds it, its ID3v2.3 text frame, its ID3v1
// field, and the objectName of the tag editor's box for it.
struct TagField
{
    EncoderMember member;
    const char *name;
    QString EncoderSettings::*text;
    const char *id3v2Frame;
    Id3v1Field id3v1;
    const char *editorBox;
};

// Every tag text, in the order the ID3v2 tag holds their frames.
std::span<const TagField> tagFields();
