#include "taglibread.h"
#include "coverfile.h"
#include "encoder/input/legacytext.h"

#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <mutex>
#include <utility>

namespace {

QString fromTagLib(const TagLib::String &text)
{
    return QString::fromStdString(text.to8Bit(true));
}

// INFO texts as older Windows tools write them, for TagLib.
class LegacyTextHandler : public TagLib::RIFF::Info::StringHandler
{
public:
    TagLib::String parse(const TagLib::ByteVector &data) const override
    {
        const QString text = decodeLegacyText(QByteArray(data.data(), static_cast<qsizetype>(data.size())));
        return TagLib::String(text.toStdString(), TagLib::String::UTF8);
    }
};

// TagLib takes the handler for every INFO tag in the process, so it is set once.
void useLegacyTextHandler()
{
    static std::once_flag once;
    static LegacyTextHandler handler;
    std::call_once(once, [] { TagLib::RIFF::Info::Tag::setStringHandler(&handler); });
}

void readInfo(TagLib::RIFF::Info::Tag &tag, SourceTagRead &read)
{
    for (const TagField &field : allTagFields()) {
        for (const char *id : field.infoIds) {
            if (!id || read.tags.info.texts.contains(field.key))
                continue;
            const QString text = fromTagLib(tag.fieldText(TagLib::ByteVector(id, 4)));
            read.tags.info.setText(field.key, field.key == TagKey::Year ? yearOf(text) : text);
        }
    }
}

// Whether a picture of size bytes from the place named is kept; one over the limit is told.
bool pictureKept(qint64 size, const char *place, SourceTagRead &read)
{
    if (size <= kMaxPictureBytes)
        return true;
    read.warnings << QStringLiteral("A picture of %1 MB in the input's %2 is left out: pictures are kept up to %3.")
                         .arg(size / double(1 << 20), 0, 'f', 1)
                         .arg(QLatin1String(place), megabytes(kMaxPictureBytes));
    return false;
}

QByteArray bytesOf(const TagLib::ByteVector &data)
{
    return QByteArray(data.data(), static_cast<qsizetype>(data.size()));
}

// The comments that give the total of a number, "12" of TRACKNUMBER 3.
struct VorbisTotal
{
    TagKey key;
    const char *names[2];
};

constexpr VorbisTotal kVorbisTotals[] = {
    {TagKey::Track, {"TRACKTOTAL", "TOTALTRACKS"}},
    {TagKey::Disc, {"DISCTOTAL", "TOTALDISCS"}},
};

// The values of the first of the names the comment holds, joined.
QString vorbisText(const TagLib::Ogg::FieldListMap &fields, const char *const (&names)[2])
{
    for (const char *name : names) {
        if (!name)
            continue;
        const auto found = fields.find(name);
        if (found != fields.end() && !found->second.isEmpty())
            return fromTagLib(found->second.toString("; "));
    }
    return {};
}

void readVorbis(const TagLib::Ogg::XiphComment &comment, TagSet &vorbis)
{
    const TagLib::Ogg::FieldListMap &fields = comment.fieldListMap();
    for (const TagField &field : allTagFields()) {
        const QString text = vorbisText(fields, field.vorbisNames);
        vorbis.setText(field.key, field.key == TagKey::Year ? yearOf(text) : text);
    }
    for (const VorbisTotal &total : kVorbisTotals) {
        const QString number = vorbis.text(total.key);
        const QString of = vorbisText(fields, total.names).trimmed();
        if (!number.isEmpty() && !of.isEmpty() && !number.contains(QLatin1Char('/')))
            vorbis.setText(total.key, number.trimmed() + QLatin1Char('/') + of);
    }
}

void readId3(TagLib::ID3v2::Tag &tag, bool hasFrames, SourceTagRead &read)
{
    TagSet &id3 = read.tags.id3;
    const TagLib::ID3v2::FrameListMap &frames = tag.frameListMap();
    if (frames.isEmpty() && hasFrames)
        read.warnings << QStringLiteral("The input's id3 chunk is damaged: its tags are left out.");
    for (const TagField &field : allTagFields()) {
        QString text;
        switch (field.key) {
        case TagKey::Genre: // names for the numbers of older tags
            text = fromTagLib(tag.genre());
            break;
        case TagKey::Comment:
            text = fromTagLib(tag.comment());
            break;
        case TagKey::Year: { // TagLib reads an ID3v2.3 TYER as TDRC
            const auto found = frames.find("TDRC");
            if (found != frames.end() && !found->second.isEmpty())
                text = yearOf(fromTagLib(found->second.front()->toString()));
            break;
        }
        default: {
            if (field.description) {
                const auto *frame = TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, field.description);
                if (frame && frame->fieldList().size() > 1)
                    text = fromTagLib(frame->fieldList()[1]);
                break;
            }
            const auto found = frames.find(TagLib::ByteVector(field.id3v2Frame, 4));
            if (found != frames.end() && !found->second.isEmpty())
                text = fromTagLib(found->second.front()->toString());
        }
        }
        id3.setText(field.key, text);
    }
    const auto pictures = frames.find("APIC");
    if (pictures == frames.end())
        return;
    for (const TagLib::ID3v2::Frame *frame : pictures->second) {
        const auto *apic = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame *>(frame);
        if (!apic)
            continue;
        const TagLib::ByteVector data = apic->picture();
        if (pictureKept(data.size(), "id3 chunk", read))
            id3.pictures.push_back({static_cast<int>(apic->type()), fromTagLib(apic->mimeType()),
                                    fromTagLib(apic->description()), bytesOf(data)});
    }
}

} // namespace

QString yearOf(const QString &date)
{
    const QString year = startingYear(date);
    return year.isEmpty() ? date : year;
}

void readTagLibWave(QByteArray wave, bool id3HasFrames, SourceTagRead &read)
{
    useLegacyTextHandler();
    TagLib::ByteVectorStream stream(TagLib::ByteVector(wave.constData(), static_cast<unsigned int>(wave.size())));
    wave.clear();
    TagLib::RIFF::WAV::File file(&stream, false);
    if (!file.isValid())
        return;
    if (file.hasInfoTag())
        readInfo(*file.InfoTag(), read);
    if (file.hasID3v2Tag())
        readId3(*file.ID3v2Tag(), id3HasFrames, read);
}

void readTagLibFlac(TagLib::IOStream &stream, SourceTagRead &read)
{
    TagLib::FLAC::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid())
        return;
    if (file.hasXiphComment())
        readVorbis(*file.xiphComment(), read.tags.vorbis);
    for (const TagLib::FLAC::Picture *picture : file.pictureList()) {
        if (pictureKept(picture->data().size(), "FLAC picture block", read))
            read.tags.vorbis.pictures.push_back({static_cast<int>(picture->type()), fromTagLib(picture->mimeType()),
                                                 fromTagLib(picture->description()), bytesOf(picture->data())});
    }
}

void readTagLibAiff(TagLib::IOStream &stream, SourceTagRead &read)
{
    TagLib::RIFF::AIFF::File file(&stream, false);
    if (file.isValid() && file.hasID3v2Tag())
        readId3(*file.tag(), false, read);
}
