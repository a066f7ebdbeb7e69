#include "gainread.h"

#include <QString>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>

namespace {

// "-6.54 dB" or "0.988553": the number it starts with.
std::optional<double> figure(TagLib::ID3v2::Tag *tag, const char *description)
{
    const TagLib::ID3v2::UserTextIdentificationFrame *frame =
        TagLib::ID3v2::UserTextIdentificationFrame::find(tag, description);
    if (!frame)
        return std::nullopt;
    TagLib::StringList fields = frame->fieldList();
    // TagLib gives the description as the first field.
    if (!fields.isEmpty() && fields.front() == frame->description())
        fields.erase(fields.begin());
    if (fields.isEmpty())
        return std::nullopt;
    bool number = false;
    const double value = QString::fromStdString(fields.front().to8Bit(true)).section(QLatin1Char(' '), 0, 0).toDouble(&number);
    return number ? std::optional<double>(value) : std::nullopt;
}

std::optional<TrackGain> pair(TagLib::ID3v2::Tag *tag, const char *gain, const char *peak)
{
    const std::optional<double> db = figure(tag, gain);
    const std::optional<double> top = figure(tag, peak);
    return db && top ? std::optional<TrackGain>(TrackGain {*db, *top}) : std::nullopt;
}

} // namespace

Mp3Gains readGains(const QByteArray &id3v2)
{
    if (id3v2.isEmpty())
        return {};
    TagLib::ByteVectorStream stream(TagLib::ByteVector(id3v2.constData(), static_cast<unsigned int>(id3v2.size())));
    // The tag alone: no audio properties to read.
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    TagLib::ID3v2::Tag *tag = file.isValid() && file.hasID3v2Tag() ? file.ID3v2Tag() : nullptr;
    if (!tag)
        return {};
    return Mp3Gains {pair(tag, "REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK"),
                     pair(tag, "REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_ALBUM_PEAK")};
}
