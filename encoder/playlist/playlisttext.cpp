#include "playlisttext.h"

#include "encoder/input/legacytext.h"

#include <QStringDecoder>

#include <array>
#include <optional>

namespace {

// Windows-1252's 0x80-0x9f; 0 where it has no character. The rest is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20ac, 0,      0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017d, 0,      0,      0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0,      0x017e, 0x0178};

std::optional<char> windows1252(char16_t unit)
{
    if (unit < 0x80 || (unit >= 0xa0 && unit <= 0xff))
        return char(unit);
    for (std::size_t at = 0; at < kHighControls.size(); ++at)
        if (kHighControls[at] == unit && unit != 0)
            return char(0x80 + at);
    return std::nullopt;
}

std::optional<QByteArray> toWindows1252(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar unit : text) {
        const std::optional<char> byte = windows1252(unit.unicode());
        if (!byte)
            return std::nullopt;
        bytes += *byte;
    }
    return bytes;
}

} // namespace

PlaylistText readPlaylistText(const QByteArray &bytes, bool m3u8)
{
    PlaylistText text;
    QByteArray body = bytes;
    if (body.startsWith("\xef\xbb\xbf")) {
        text.bom = true;
        body.remove(0, 3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(body);
    if (utf8.hasError() && !m3u8 && !text.bom) {
        text.encoding = PlaylistEncoding::Windows1252;
        decoded = decodeLegacyText(body);
    }
    text.crlf = decoded.contains(QLatin1String("\r\n"));
    decoded.remove(u'\r');
    text.lines = decoded.split(u'\n');
    // The end of the last line is no line of its own.
    if (!text.lines.isEmpty() && text.lines.constLast().isEmpty())
        text.lines.removeLast();
    return text;
}

QByteArray playlistBytes(const PlaylistText &text, bool *asUtf8)
{
    const QString end = text.crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    const QString joined = text.lines.isEmpty() ? QString() : text.lines.join(end) + end;
    if (asUtf8)
        *asUtf8 = false;
    if (text.encoding == PlaylistEncoding::Windows1252) {
        if (std::optional<QByteArray> legacy = toWindows1252(joined))
            return *legacy;
        if (asUtf8)
            *asUtf8 = true;
    }
    return (text.bom ? QByteArray("\xef\xbb\xbf") : QByteArray()) + joined.toUtf8();
}

bool isPlaylistFileName(const QString &name)
{
    return name.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive) || isM3u8FileName(name);
}

bool isM3u8FileName(const QString &name)
{
    return name.endsWith(QLatin1String(".m3u8"), Qt::CaseInsensitive);
}
