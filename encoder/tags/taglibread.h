#pragma once

#include "sourcetags.h"

#include <QByteArray>
#include <QString>

namespace TagLib {
class IOStream;
}

// TagLib reads the texts and pictures of a WAVE that holds only the checked INFO and id3
// chunks into read.tags.info and read.tags.id3. id3HasFrames: the id3 tag holds more than
// padding, so one TagLib finds no frame in is damaged.
void readTagLibWave(QByteArray wave, bool id3HasFrames, SourceTagRead &read);

// TagLib reads a FLAC's Vorbis comment and picture blocks into read.tags.vorbis: the texts
// our tags have under the names common tag editors give them, a number and its total
// (TRACKNUMBER 3, TRACKTOTAL 12) as "3/12"; ReplayGain's figures are not taken, as the run
// measures its own.
void readTagLibFlac(TagLib::IOStream &stream, SourceTagRead &read);
// TagLib reads an AIFF's ID3 chunk into read.tags.id3.
void readTagLibAiff(TagLib::IOStream &stream, SourceTagRead &read);

// The year a date starts with ("2019-05-01" gives "2019"); other texts as they are.
QString yearOf(const QString &date);
