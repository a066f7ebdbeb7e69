#include "legacytext.h"

#include <QStringDecoder>

#include <array>
#include <memory>

#include <cerrno>
#include <iconv.h>
#include <uchardet/uchardet.h>

namespace {

// Windows-1252's letters at 0x80..0x9f; the five it leaves undefined stay C1 controls.
constexpr std::array<char16_t, 32> kWindows1252 {
    0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008d, 0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

QString windows1252(QByteArrayView text)
{
    QString decoded;
    decoded.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        decoded.append(u >= 0x80 && u < 0xa0 ? QChar(kWindows1252[u - 0x80]) : QChar(u));
    }
    return decoded;
}

struct IconvCloser
{
    void operator()(void *cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Iconv = std::unique_ptr<void, IconvCloser>;

Iconv openIconv(const QByteArray &from)
{
    const iconv_t cd = iconv_open("UTF-8", from.constData());
    return Iconv(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

// The text in the encoding named; a byte sequence it does not hold becomes U+FFFD. None where
// iconv does not know the name.
std::optional<QString> convert(QByteArrayView bytes, const QByteArray &charset)
{
    const Iconv cd = openIconv(charset);
    if (!cd)
        return std::nullopt;
    QByteArray out;
    std::array<char, 4096> buffer {};
    char *in = const_cast<char *>(bytes.data());
    std::size_t left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        char *to = buffer.data();
        std::size_t room = buffer.size();
        const std::size_t done = iconv(static_cast<iconv_t>(cd.get()), &in, &left, &to, &room);
        out.append(buffer.data(), to - buffer.data());
        if (done != static_cast<std::size_t>(-1) || errno == E2BIG)
            continue;
        out.append("\xef\xbf\xbd"); // EILSEQ, or EINVAL at the end: one byte passed over
        ++in;
        --left;
    }
    return QString::fromUtf8(out);
}

// UTF-32 and UTF-16 without a byte-order mark: a sheet is mostly ASCII, so the high bytes of
// its code units are NUL and the low ones almost never.
std::optional<QStringDecoder::Encoding> wideEncoding(QByteArrayView bytes)
{
    const auto nulsAt = [&](qsizetype step, qsizetype offset) {
        qsizetype nuls = 0;
        for (qsizetype i = offset; i < bytes.size(); i += step)
            nuls += bytes[i] == '\0';
        return nuls;
    };
    if (bytes.size() < 4)
        return std::nullopt;
    const qsizetype units32 = bytes.size() / 4;
    if (bytes.size() % 4 == 0) {
        if (nulsAt(4, 2) == units32 && nulsAt(4, 3) == units32 && nulsAt(4, 0) * 50 < units32)
            return QStringDecoder::Utf32LE;
        if (nulsAt(4, 0) == units32 && nulsAt(4, 1) == units32 && nulsAt(4, 3) * 50 < units32)
            return QStringDecoder::Utf32BE;
    }
    const qsizetype units16 = bytes.size() / 2;
    if (bytes.size() % 2 == 0) {
        if (nulsAt(2, 1) * 2 > units16 && nulsAt(2, 0) * 50 < units16)
            return QStringDecoder::Utf16LE;
        if (nulsAt(2, 0) * 2 > units16 && nulsAt(2, 1) * 50 < units16)
            return QStringDecoder::Utf16BE;
    }
    return std::nullopt;
}

struct UchardetDeleter
{
    void operator()(uchardet *detector) const { uchardet_delete(detector); }
};

// The legacy code page uchardet takes the bytes for; Windows-1252 where it finds none, and for
// ISO-8859-1, which Windows-1252 holds but for the C1 controls no sheet has.
QByteArray legacyCharset(QByteArrayView bytes)
{
    const std::unique_ptr<uchardet, UchardetDeleter> detector(uchardet_new());
    if (!detector || uchardet_handle_data(detector.get(), bytes.data(), static_cast<size_t>(bytes.size())) != 0)
        return "WINDOWS-1252";
    uchardet_data_end(detector.get());
    const QByteArray found = QByteArray(uchardet_get_charset(detector.get())).toUpper();
    if (found.isEmpty() || found == "ASCII" || found == "ISO-8859-1" || found == "ISO-8859-15")
        return "WINDOWS-1252";
    return found;
}

} // namespace

QString decodeLegacyText(const QByteArray &bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    const QByteArray text = nul < 0 ? bytes : bytes.left(nul);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString decoded = utf8(text);
    if (!utf8.hasError())
        return decoded;
    return windows1252(text);
}

bool isKnownCharset(const QByteArray &charset)
{
    return !charset.isEmpty() && openIconv(charset) != nullptr;
}

QString decodeTextFile(const QByteArray &bytes, const QByteArray &charset)
{
    if (!charset.isEmpty())
        if (std::optional<QString> text = convert(bytes, charset))
            return *text;
    if (std::optional<QStringConverter::Encoding> bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*bom); // drops the mark
        return decoder(bytes);
    }
    if (const std::optional<QStringDecoder::Encoding> wide = wideEncoding(bytes))
        return QStringDecoder(*wide)(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    // uchardet and iconv stop at a NUL: such a text is binary junk, refused by its caller.
    if (bytes.contains('\0'))
        return windows1252(bytes);
    return convert(bytes, legacyCharset(bytes)).value_or(windows1252(bytes));
}
