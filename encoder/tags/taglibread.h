#pragma once

#include "sourcetags.h"

#include <QByteArray>
#include <QString>

// TagLib reads the texts and pictures of a WAVE that holds only the checked INFO and id3
// chunks into read.tags.info and read.tags.id3. id3HasFrames: the id3 tag holds more than
// padding, so one TagLib finds no frame in is damaged.
void readTagLibWave(QByteArray wave, bool id3HasFrames, SourceTagRead &read);

// The year a date starts with ("2019-05-01" gives "2019"); other texts as they are.
QString yearOf(const QString &date);
