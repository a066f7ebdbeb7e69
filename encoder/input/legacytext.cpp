#include "legacytext.h"

#include <QStringDecoder>

#include <array>

namespace {

// Windows-1252's letters at 0x80..0x9f; the five it leaves undefined stay C1 controls.
constexpr std::array<char16_t, 32> kWindows1252 {
    0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008d, 0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

} // namespace

QString decodeLegacyText(const QByteArray &bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    const QByteArray text = nul < 0 ? bytes : bytes.left(nul);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString decoded = utf8(text);
    if (!utf8.hasError())
        return decoded;
    decoded.clear();
    decoded.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        decoded.append(u >= 0x80 && u < 0xa0 ? QChar(kWindows1252[u - 0x80]) : QChar(u));
    }
    return decoded;
}
