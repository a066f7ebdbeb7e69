#include "disknames.h"

#include <QStringList>

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>
#include <mutex>
#include <string_view>

namespace {

// What FAT, exFAT and NTFS hold in no name, beside control characters.
constexpr char16_t kReserved[] = u"\\/:*?\"<>|";

// Windows' device names, which no name there may be, whatever its extension.
bool isDeviceName(const QString &base)
{
    static const QStringList devices = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                        QStringLiteral("NUL")};
    const QString upper = base.trimmed().toUpper();
    if (devices.contains(upper))
        return true;
    return upper.size() == 4 && (upper.startsWith(QLatin1String("COM")) || upper.startsWith(QLatin1String("LPT")))
           && upper[3] >= u'1' && upper[3] <= u'9';
}

// ICU rather than iconv's //TRANSLIT: glibc transliterates by the locale (in the C locale "é"
// becomes "?"), so one library would get other names on each machine of a listed run.
QString transliterated(const QString &text)
{
    static std::mutex mutex;
    static std::unique_ptr<icu::Transliterator> toAscii;
    static bool tried = false;
    const std::lock_guard lock(mutex);
    if (!tried) {
        tried = true;
        UErrorCode status = U_ZERO_ERROR;
        toAscii.reset(icu::Transliterator::createInstance("Any-Latin; Latin-ASCII", UTRANS_FORWARD, status));
        if (U_FAILURE(status))
            toAscii.reset();
    }
    if (!toAscii)
        return text;
    icu::UnicodeString unicode(reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
    toAscii->transliterate(unicode);
    return QString(reinterpret_cast<const QChar *>(unicode.getBuffer()), unicode.length());
}

// The longest start of text within bytes of UTF-8 (and, where units > 0, that many UTF-16
// units), never splitting a character.
QString cut(const QString &text, int bytes, int units)
{
    int usedBytes = 0;
    qsizetype at = 0;
    while (at < text.size()) {
        const bool pair = text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate();
        const char32_t code = pair ? QChar::surrogateToUcs4(text[at], text[at + 1]) : text[at].unicode();
        const int size = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
        const qsizetype next = at + (pair ? 2 : 1);
        if (usedBytes + size > bytes || (units > 0 && next > units))
            break;
        usedBytes += size;
        at = next;
    }
    return text.left(at);
}

constexpr int kLongest = 255; // bytes on Linux file systems, UTF-16 units on FAT, exFAT and NTFS
constexpr int kNumberRoom = 5; // " (NN)"

} // namespace

DiskNames givenNames(NamesMode mode)
{
    return {mode, mode != NamesMode::Native};
}

QString fitName(const QString &name, NamesMode mode, bool file)
{
    const QString given = mode == NamesMode::Ascii ? transliterated(name) : name;
    const bool portable = mode != NamesMode::Native;
    QString text;
    text.reserve(given.size());
    for (qsizetype at = 0; at < given.size(); ++at) {
        const QChar c = given[at];
        const bool pair = c.isHighSurrogate() && at + 1 < given.size() && given[at + 1].isLowSurrogate();
        const bool reserved = portable && std::u16string_view(kReserved).find(c.unicode()) != std::u16string_view::npos;
        const bool control = c.category() == QChar::Other_Control;
        if (c == u'/' || c == u'\0' || (portable && control) || reserved || (mode == NamesMode::Ascii && c.unicode() >= 0x80))
            text += u'_';
        else if (pair)
            text += QStringView(given).mid(at, 2);
        else
            text += c;
        at += pair ? 1 : 0;
    }
    const qsizetype dot = file ? text.lastIndexOf(u'.') : -1;
    const QString extension = dot > 0 ? text.mid(dot) : QString();
    QString stem = text.left(text.size() - extension.size());
    const int room = kLongest - kNumberRoom;
    stem = cut(stem, room - int(extension.toUtf8().size()), portable ? room - int(extension.size()) : 0);
    if (portable) {
        if (isDeviceName(stem.section(u'.', 0, 0)))
            stem.insert(stem.indexOf(u'.') < 0 ? stem.size() : stem.indexOf(u'.'), u'_');
        if (extension.isEmpty()) {
            while (stem.endsWith(u'.') || stem.endsWith(u' '))
                stem.chop(1);
        }
    }
    return stem.isEmpty() ? QStringLiteral("_") + extension : stem + extension;
}

QString fitBelow(const QString &below, NamesMode mode)
{
    QStringList names = below.split(u'/');
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = fitName(names[i], mode, i == names.size() - 1);
    return names.join(u'/');
}

QString namesText(const DiskNames &names)
{
    const char *mode = names.mode == NamesMode::Ascii      ? "ascii"
                       : names.mode == NamesMode::Portable ? "portable"
                                                           : "native";
    return QLatin1String(mode) + (names.caseless ? QStringLiteral(" caseless") : QString());
}

std::optional<DiskNames> namesFromText(const QString &text)
{
    const QStringList words = text.simplified().split(u' ');
    const QString mode = words.value(0);
    DiskNames names;
    if (mode == QLatin1String("ascii"))
        names.mode = NamesMode::Ascii;
    else if (mode == QLatin1String("portable"))
        names.mode = NamesMode::Portable;
    else if (mode != QLatin1String("native"))
        return std::nullopt;
    names.caseless = words.value(1) == QLatin1String("caseless");
    return names;
}
