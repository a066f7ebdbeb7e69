#pragma once

#include "riffchunks.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

// The lossless formats a source may come in: the WAVE family (wavefamily.h) and, for the
// command, FLAC and AIFF/AIFC, which libsndfile reads as well. The window takes WAVE alone and
// asks wavefamily.h; the reader, the tag reader and the batch's search ask here.
enum class SourceFormat { Wave, Flac, Aiff }; // Aiff last: sourceformat.cpp counts its rows by it

// "WAVE", "FLAC", "AIFF", as the texts name them.
const char *sourceFormatName(SourceFormat format);

// The format of the file read, by how it starts (a FLAC may follow an ID3v2 tag); nothing for
// any other file.
std::optional<SourceFormat> sourceFormatOf(const ReadAt &read);

// Whether a major format libsndfile reports (SF_FORMAT_TYPEMASK) is the format's.
bool isSndfileFormatOf(SourceFormat format, int sndfileFormat);
// Whether 16-bit reading loses nothing of libsndfile's format.
bool isShortExact(int sndfileFormat);
// Whether libsndfile's seek in the format lands on the very sample.
bool seeksExactly(int sndfileFormat);

// Whether the name ends in an extension of one of the formats: .wav, .wave, .flac, .aif, .aiff
// or .aifc, in any case.
bool isLosslessFileName(const QString &path);

// Whether the name ends in an extension of a lossy format an MP3 is not made from: .ogg, .oga,
// .opus, .m4a or .aac, in any case.
bool isLossyFileName(const QString &path);

// The size of the ID3v2 tag head opens with, its header and any footer counted; 0 where head
// (at least its first ten bytes) opens none.
qint64 id3v2TagSize(QByteArrayView head);

// Whether the name ends in .mp3, in any case.
bool isMp3FileName(const QString &path);
