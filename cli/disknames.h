#pragma once

#include <QString>

#include <optional>

// How an MP3's names are made for the disk they go to.
//   native: as the source's (a name template's fields have no slash or control character);
//   portable: without what FAT, exFAT and NTFS refuse: the characters \ / : * ? " < > | and
//           control characters replaced by "_", dots and spaces at a name's end left out,
//           a device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with any extension) given
//           a "_", at most 255 UTF-16 units;
//   ascii: portable names whose letters beyond ASCII are transliterated (ICU's Any-Latin and
//           Latin-ASCII: "é" to "e", "Ω" to "O", "Москва" to "Moskva"), what is left beyond
//           ASCII replaced by "_".
// In every mode a name is at most 255 bytes, cut on a character boundary with its extension
// kept and room left for " (NN)"; a name left empty is "_".
enum class NamesMode { Native, Portable, Ascii };

struct DiskNames
{
    NamesMode mode = NamesMode::Native;
    // Names equal once letter case is folded are one file there (FAT, exFAT, NTFS).
    bool caseless = false;

    bool operator==(const DiskNames &) const = default;
};

// --names=MODE as given: a portable or ascii disk is taken to tell no letter case, a native one
// to tell it.
DiskNames givenNames(NamesMode mode);

// One name of a path (a folder's, or with file a file's whose extension is kept) as the disk
// holds it.
QString fitName(const QString &name, NamesMode mode, bool file);

// A relative path, its last name a file's, each name fitted.
QString fitBelow(const QString &below, NamesMode mode);

// As a listing run's mark keeps them for its jobs ("portable caseless"), and read back; none
// where the text is not such.
QString namesText(const DiskNames &names);
std::optional<DiskNames> namesFromText(const QString &text);
