#include "id3tags.h"

#include "encoder/core/tagfields.h"

#include <algorithm>

namespace {

constexpr qint64 kMaxTagBody = 0x0fffffff; // the 28 bits of an ID3v2 size
constexpr unsigned char kNoGenre = 255;

// Printable Latin-1: control characters, C1 included, are read as other letters by readers
// that take ISO-8859-1 for Windows-1252.
bool isPlainLatin1(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 0x20 && u < 0x7f) || (u >= 0xa0 && u <= 0xff);
    });
}

void appendBigEndian(QByteArray &out, quint32 value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>((value >> shift) & 0xff));
}

QByteArray frameText(const QString &text)
{
    QByteArray data;
    if (isPlainLatin1(text)) {
        data.append('\0');
        data.append(text.toLatin1());
        return data;
    }
    data.append('\1');
    data.append("\xff\xfe", 2); // UTF-16, little-endian after the byte-order mark
    for (const QChar c : text) {
        data.append(static_cast<char>(c.unicode() & 0xff));
        data.append(static_cast<char>(c.unicode() >> 8));
    }
    return data;
}

// ID3v1 holds at most size bytes of Latin-1; a text that does not fit gives an empty field.
void putField(char *field, int size, const QString &text)
{
    if (isPlainLatin1(text)) {
        const QByteArray latin1 = text.left(size).toLatin1();
        std::copy(latin1.begin(), latin1.end(), field);
    }
}

// The four characters of an ID3v1 year: the text if it fits, else the year it starts with.
QString v1Year(const QString &year)
{
    if (year.size() <= 4)
        return year;
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    const QString head = year.left(4);
    return std::all_of(head.begin(), head.end(), digit) && !digit(year[4]) ? head : QString();
}

} // namespace

std::optional<QByteArray> id3v2Tag(const EncoderSettings &settings)
{
    QByteArray frames;
    for (const TagField &field : tagFields()) {
        // A NUL would end the text early in every reader.
        QString text = settings.*field.text;
        text.remove(QChar(0));
        if (text.isEmpty())
            continue;
        const QByteArray data = frameText(text);
        if (data.size() > kMaxTagBody)
            return std::nullopt;
        frames.append(field.id3v2Frame, 4);
        appendBigEndian(frames, static_cast<quint32>(data.size()));
        frames.append("\0\0", 2); // no frame flags
        frames.append(data);
        if (frames.size() > kMaxTagBody)
            return std::nullopt;
    }
    if (frames.isEmpty())
        return QByteArray();

    QByteArray tag("ID3\x03\x00\x00", 6); // version 2.3, no flags, no unsynchronisation
    const auto size = static_cast<quint32>(frames.size());
    for (int shift = 21; shift >= 0; shift -= 7)
        tag.append(static_cast<char>((size >> shift) & 0x7f));
    tag.append(frames);
    return tag;
}

QByteArray id3v1Tag(const EncoderSettings &settings, const GenreNumber &genreNumber)
{
    QByteArray tag(128, '\0');
    char *data = tag.data();
    std::copy_n("TAG", 3, data);
    // 97..126: the comment, left empty.
    data[127] = static_cast<char>(kNoGenre);
    for (const TagField &field : tagFields()) {
        const QString &text = settings.*field.text;
        switch (field.id3v1) {
        case Id3v1Field::None:
            break;
        case Id3v1Field::Title:
            putField(data + 3, 30, text);
            break;
        case Id3v1Field::Artist:
            putField(data + 33, 30, text);
            break;
        case Id3v1Field::Album:
            putField(data + 63, 30, text);
            break;
        case Id3v1Field::Year:
            putField(data + 93, 4, v1Year(text));
            break;
        case Id3v1Field::Genre:
            if (!text.isEmpty() && isPlainLatin1(text))
                data[127] = static_cast<char>(genreNumber(text));
            break;
        }
    }
    const bool holdsText = std::any_of(data + 3, data + 97, [](char c) { return c != '\0'; });
    if (!holdsText && static_cast<unsigned char>(data[127]) == kNoGenre)
        return QByteArray();
    return tag;
}
