#include "id3render.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>

namespace {

constexpr unsigned char kNoGenre = 255;
// The widest figures the room is held for.
constexpr TrackGain kWidestGain {-999.99, 999.999999};

// Printable Latin-1: control characters, C1 included, are read as other letters by readers
// that take ISO-8859-1 for Windows-1252.
bool isPlainLatin1(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 0x20 && u < 0x7f) || (u >= 0xa0 && u <= 0xff);
    });
}

TagLib::String toTagLib(const QString &text)
{
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

TagLib::String::Type encodingFor(const QString &text)
{
    return isPlainLatin1(text) ? TagLib::String::Latin1 : TagLib::String::UTF16;
}

// ID3v2.4 dates every recording in TDRC; 2.3's year frame is TYER.
TagLib::ByteVector frameId(const TagField &field, int version)
{
    const TagLib::ByteVector id(field.id3v2Frame, 4);
    return version == 4 && id == "TYER" ? TagLib::ByteVector("TDRC") : id;
}

TagLib::ID3v2::Frame *textFrame(const TagField &field, const QString &text, int version)
{
    if (field.description)
        return new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String(field.description),
                                                              TagLib::StringList(toTagLib(text)), encodingFor(text));
    if (field.key == TagKey::Comment) {
        auto *frame = new TagLib::ID3v2::CommentsFrame(encodingFor(text));
        frame->setLanguage("eng");
        frame->setText(toTagLib(text));
        return frame;
    }
    auto *frame = new TagLib::ID3v2::TextIdentificationFrame(frameId(field, version), encodingFor(text));
    frame->setText(toTagLib(text));
    return frame;
}

// A text frame rendered on its own as the tag's version lays it out; TagLib keeps the version
// setter for frames it renders within a tag.
class VersionedTextFrame : public TagLib::ID3v2::TextIdentificationFrame
{
public:
    VersionedTextFrame(const char *id, TagLib::String::Type encoding, int version)
        : TextIdentificationFrame(TagLib::ByteVector(id, 4), encoding)
    {
        header()->setVersion(static_cast<unsigned int>(version));
    }
};

TagLib::ID3v2::Frame *pictureFrame(const Picture &picture)
{
    auto *frame = new TagLib::ID3v2::AttachedPictureFrame;
    frame->setTextEncoding(encodingFor(picture.description));
    frame->setMimeType(toTagLib(picture.mimeType));
    frame->setDescription(toTagLib(picture.description));
    frame->setType(static_cast<TagLib::ID3v2::AttachedPictureFrame::Type>(picture.type));
    frame->setPicture(TagLib::ByteVector(picture.data.constData(), static_cast<unsigned int>(picture.data.size())));
    return frame;
}

TagLib::ID3v2::Frame *gainFrame(const char *name, const QString &value)
{
    return new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String(name), TagLib::StringList(toTagLib(value)),
                                                          TagLib::String::Latin1);
}

// ID3v2.3 frame sizes are plain 32-bit numbers, 2.4's are synchsafe like the tag's size.
quint32 frameSize(const char *p, int version)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    const int bits = version == 4 ? 7 : 8;
    return quint32(u[0]) << (3 * bits) | quint32(u[1]) << (2 * bits) | quint32(u[2]) << bits | u[3];
}

void setTagSize(QByteArray &tag)
{
    const auto size = static_cast<quint32>(tag.size() - 10);
    for (int i = 0; i < 4; ++i)
        tag[6 + i] = static_cast<char>((size >> (7 * (3 - i))) & 0x7f);
}

// TagLib pads every tag it renders; the frames end where the first frame id is a zero byte.
QByteArray withoutPadding(QByteArray tag, int version)
{
    qsizetype at = 10;
    while (at + 10 <= tag.size() && tag[at] != '\0')
        at += 10 + static_cast<qsizetype>(frameSize(tag.constData() + at + 4, version));
    tag.truncate(std::min(at, tag.size()));
    setTagSize(tag);
    return tag;
}

// The ID3v1 year: the text if it fits, else the year it starts with.
QString v1Year(const QString &year)
{
    return year.size() <= 4 ? year : startingYear(year);
}

QString plainLatin1(const QString &text)
{
    return isPlainLatin1(text) ? text : QString();
}

QString gainText(double gainDb)
{
    return QString::asprintf("%+.2f dB", gainDb);
}

QString peakText(double peak)
{
    return QString::asprintf("%.6f", peak);
}

} // namespace

std::optional<QByteArray> renderId3v2(const TagSet &tags, const std::optional<TrackGain> &gain, qsizetype size,
                                      const std::optional<TrackGain> &albumGain, int version)
{
    // TagLib's 2.3 rendering turns a genre "17" into "(17)": the genre frame is rendered on its
    // own, between the frames before and after it.
    TagLib::ID3v2::Tag before;
    TagLib::ID3v2::Tag after;
    QByteArray genre;
    bool pastGenre = false;
    for (const TagField &field : allTagFields()) {
        const QString text = tags.text(field.key);
        if (field.key == TagKey::Genre) {
            pastGenre = true;
            if (!text.isEmpty()) {
                VersionedTextFrame frame(field.id3v2Frame, encodingFor(text), version);
                frame.setText(toTagLib(text));
                const TagLib::ByteVector bytes = frame.render();
                genre = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
            }
        } else if (!text.isEmpty()) {
            (pastGenre ? after : before).addFrame(textFrame(field, text, version));
        }
    }
    for (const Picture &picture : tags.pictures)
        after.addFrame(pictureFrame(picture));
    if (gain) {
        after.addFrame(gainFrame("REPLAYGAIN_TRACK_GAIN", gainText(gain->gainDb)));
        after.addFrame(gainFrame("REPLAYGAIN_TRACK_PEAK", peakText(gain->peak)));
    }
    if (albumGain) {
        after.addFrame(gainFrame("REPLAYGAIN_ALBUM_GAIN", gainText(albumGain->gainDb)));
        after.addFrame(gainFrame("REPLAYGAIN_ALBUM_PEAK", peakText(albumGain->peak)));
    }
    if (before.frameList().isEmpty() && genre.isEmpty() && after.frameList().isEmpty() && size <= 10)
        return QByteArray();
    const auto rendering = version == 4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3;
    const TagLib::ByteVector first = before.render(rendering);
    const TagLib::ByteVector last = after.render(rendering);
    QByteArray out = withoutPadding(QByteArray(first.data(), static_cast<qsizetype>(first.size())), version);
    out.append(genre);
    out.append(withoutPadding(QByteArray(last.data(), static_cast<qsizetype>(last.size())), version).mid(10));
    setTagSize(out);
    if (out.size() - 10 > kMaxId3v2Body)
        return std::nullopt;
    if (size > out.size()) {
        out.resize(size, '\0');
        setTagSize(out);
    }
    return out;
}

QByteArray renderId3v1(const TagSet &tags, const GenreNumber &genreNumber)
{
    TagLib::ID3v1::Tag tag;
    QString year;
    bool holdsText = false;
    unsigned char genre = kNoGenre;
    for (const TagField &field : allTagFields()) {
        const QString text = tags.text(field.key);
        const QString latin1 = plainLatin1(text);
        // TagLib's default handler renders Latin-1; each field is cut to its bytes.
        switch (field.id3v1) {
        case Id3v1Field::None:
            continue;
        case Id3v1Field::Title:
            tag.setTitle(toTagLib(latin1));
            break;
        case Id3v1Field::Artist:
            tag.setArtist(toTagLib(latin1));
            break;
        case Id3v1Field::Album:
            tag.setAlbum(toTagLib(latin1));
            break;
        case Id3v1Field::Comment:
            tag.setComment(toTagLib(latin1));
            break;
        case Id3v1Field::Year:
            year = plainLatin1(v1Year(text));
            holdsText = holdsText || !year.isEmpty();
            continue;
        case Id3v1Field::Track: {
            // "3/12" is track 3; ID3v1.1 holds 1 to 255.
            const int track = text.section(QLatin1Char('/'), 0, 0).trimmed().toInt();
            if (track > 0 && track < 256)
                tag.setTrack(static_cast<unsigned int>(track));
            continue;
        }
        case Id3v1Field::Genre:
            if (!latin1.isEmpty())
                genre = genreNumber(latin1);
            continue;
        }
        holdsText = holdsText || !latin1.isEmpty();
    }
    if (!holdsText && genre == kNoGenre)
        return QByteArray();
    tag.setGenreNumber(genre);
    const TagLib::ByteVector rendered = tag.render();
    QByteArray out(rendered.data(), static_cast<qsizetype>(rendered.size()));
    // TagLib holds the year as a number; the field is text, and takes it as typed.
    const QByteArray yearBytes = year.toLatin1().leftJustified(4, '\0', true);
    std::copy(yearBytes.begin(), yearBytes.end(), out.begin() + 93);
    return out;
}

std::optional<Mp3Tags> Mp3Tags::render(TagSet tags, const GenreNumber &genreNumber, bool albumRoom, Id3Form form)
{
    Mp3Tags rendered;
    rendered.m_version = form.version;
    std::optional<QByteArray> v2 = renderId3v2(tags, std::nullopt, 0, std::nullopt, form.version);
    std::optional<QByteArray> room = renderId3v2(
        tags, kWidestGain, 0, albumRoom ? std::optional<TrackGain>(kWidestGain) : std::nullopt, form.version);
    if (!v2 || !room)
        return std::nullopt;
    rendered.m_id3v2 = std::move(*v2);
    rendered.m_room = std::move(*room);
    if (form.v1)
        rendered.m_id3v1 = renderId3v1(tags, genreNumber);
    rendered.m_tags = std::move(tags);
    return rendered;
}

QByteArray Mp3Tags::id3v2Final(const std::optional<TrackGain> &gain, const std::optional<TrackGain> &albumGain) const
{
    const qsizetype size = m_room.size();
    if (size == 0)
        return {};
    if (gain || albumGain) {
        const std::optional<QByteArray> tag = renderId3v2(m_tags, gain, size, albumGain, m_version);
        if (tag && tag->size() == size)
            return *tag;
    }
    return renderId3v2(m_tags, std::nullopt, size, std::nullopt, m_version).value_or(QByteArray());
}
