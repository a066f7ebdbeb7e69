#include "cuesheet.h"
#include "cuesheetwords.h"
#include "legacytext.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

Outcome lineFailure(int line, const QString &why)
{
    return Outcome::failure(QStringLiteral("line %1: %2").arg(line).arg(why));
}

QString tooLarge(qint64 bytes)
{
    return QStringLiteral("The CUE sheet is %1 KiB: a sheet is at most %2 KiB.")
        .arg((bytes + 1023) / 1024)
        .arg(kMaxCueSheetBytes / 1024);
}

bool isControl(QChar c)
{
    return (c < u' ' && c != u'\t' && c != u'\r' && c != u'\n') || c == u'\x7f';
}

class Parser
{
public:
    Result<CueSheet> parse(const QString &text)
    {
        qsizetype at = 0;
        while (at < text.size()) {
            qsizetype end = at;
            while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
                ++end;
            ++m_line;
            const QStringView line = QStringView(text).sliced(at, end - at);
            if (const auto control = std::find_if(line.begin(), line.end(), isControl); control != line.end())
                return lineFailure(m_line, QStringLiteral("control character U+%1: binary data, not text")
                                               .arg(control->unicode(), 4, 16, QChar(u'0')));
            if (const Outcome read = readLine(line); !read)
                return read;
            const bool crlf = end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n';
            at = end + (crlf ? 2 : 1);
        }
        if (m_sheet.files.empty())
            return Outcome::failure(QStringLiteral("The CUE sheet names no FILE."));
        if (m_sheet.tracks.empty())
            return lineFailure(m_sheet.files.back().line, QStringLiteral("FILE without a TRACK"));
        if (const Outcome last = checkStart(); !last)
            return last;
        if (std::ranges::none_of(m_sheet.tracks, &CueTrack::audio))
            return lineFailure(m_sheet.tracks.front().line, QStringLiteral("no AUDIO track: a data disc"));
        return std::move(m_sheet);
    }

private:
    CueTrack *track() { return m_sheet.tracks.empty() ? nullptr : &m_sheet.tracks.back(); }

    Outcome fail(const QString &why) const { return lineFailure(m_line, why); }

    Outcome readLine(QStringView line)
    {
        CueWords words(line);
        const QString command = words.next().toUpper();
        CueTrack *current = track();
        if (command == u"FILE")
            return readFile(words);
        if (command == u"TRACK")
            return readTrack(words);
        if (command == u"INDEX")
            return readIndex(words);
        if (command == u"TITLE")
            (current ? current->title : m_sheet.title) = words.text();
        else if (command == u"PERFORMER")
            (current ? current->performer : m_sheet.performer) = words.text();
        else if (command == u"SONGWRITER")
            (current ? current->songwriter : m_sheet.songwriter) = words.text();
        else if (command == u"ISRC" && current)
            current->isrc = words.text();
        else if (command == u"CATALOG" && !current)
            m_sheet.catalog = words.text();
        else if (command == u"REM")
            readRemark(words, current);
        return Outcome::success();
    }

    // The sheet's REM lines before the first track; a track's own comment and date.
    void readRemark(CueWords &words, CueTrack *current)
    {
        const QString key = words.next().toUpper();
        if (key == u"COMMENT") {
            (current ? current->comment : m_sheet.comment) = words.text();
            return;
        }
        if (key == u"DATE" && current) {
            current->date = words.text();
            return;
        }
        if (current)
            return;
        if (key == u"DATE")
            m_sheet.date = words.text();
        else if (key == u"GENRE")
            m_sheet.genre = words.text();
        else if (key == u"DISCNUMBER")
            m_sheet.discNumber = words.text();
        else if (key == u"TOTALDISCS")
            m_sheet.totalDiscs = words.text();
    }

    Outcome readFile(CueWords &words)
    {
        CueFile file;
        file.name = words.fileName();
        file.type = words.next().toUpper();
        file.line = m_line;
        if (file.name.isEmpty())
            return fail(QStringLiteral("FILE without a name"));
        m_sheet.files.push_back(std::move(file));
        return Outcome::success();
    }

    Outcome readTrack(CueWords &words)
    {
        if (m_sheet.files.empty())
            return fail(QStringLiteral("TRACK before FILE"));
        const QString number = words.next();
        const QString type = words.next().toUpper();
        if (!allDigits(number, 1, 2) || number.toInt() == 0)
            return fail(QStringLiteral("malformed track number \"%1\": 1 to 99").arg(number));
        if (type.isEmpty())
            return fail(QStringLiteral("track %1 without a type").arg(number));
        if (const CueTrack *before = track()) {
            if (const Outcome previous = checkStart(); !previous)
                return previous;
            if (number.toInt() <= before->number)
                return fail(QStringLiteral("track %1 after track %2: the numbers must increase")
                                .arg(number.toInt())
                                .arg(before->number));
        }
        CueTrack next;
        next.number = number.toInt();
        next.line = m_line;
        next.type = type;
        m_sheet.tracks.push_back(std::move(next));
        return Outcome::success();
    }

    // The last track read has its INDEX 01.
    Outcome checkStart() const
    {
        const CueTrack &last = m_sheet.tracks.back();
        if (last.start.line == 0)
            return lineFailure(last.line, QStringLiteral("track %1 has no INDEX 01").arg(last.number));
        return Outcome::success();
    }

    Outcome readIndex(CueWords &words)
    {
        CueTrack *current = track();
        if (!current)
            return fail(QStringLiteral("INDEX outside a track"));
        const QString number = words.next();
        const QString timeText = words.next();
        if (!allDigits(number, 1, 2))
            return fail(QStringLiteral("malformed index number \"%1\"").arg(number));
        const std::optional<qint64> time = parseTime(timeText);
        if (!time)
            return fail(QStringLiteral("malformed time \"%1\": mm:ss:ff, the seconds below 60, the frames below 75")
                            .arg(timeText));
        const int index = number.toInt();
        if (index > 1)
            return Outcome::success();
        const bool hasStart = current->start.line != 0;
        const CueIndex read {*time, m_line, int(m_sheet.files.size()) - 1};
        // An INDEX 00 comes after the previous track's INDEX 01, or that track would be empty;
        // in a later file it is after it whatever its time.
        const CueTrack *previous = m_sheet.tracks.size() > 1 ? &m_sheet.tracks[m_sheet.tracks.size() - 2] : nullptr;
        if (previous && !before(previous->start, read))
            return fail(QStringLiteral("INDEX %1 at %2 is not after track %3's INDEX 01 at %4")
                            .arg(index == 0 ? QStringLiteral("00") : QStringLiteral("01"), cueTimeText(read.at))
                            .arg(previous->number)
                            .arg(cueTimeText(previous->start.at)));
        if (index == 0) {
            if (hasStart)
                return fail(QStringLiteral("INDEX 00 after INDEX 01"));
            if (current->pregap)
                return fail(QStringLiteral("a second INDEX 00"));
            current->pregap = read;
            return Outcome::success();
        }
        if (hasStart)
            return fail(QStringLiteral("a second INDEX 01"));
        if (current->pregap && before(read, *current->pregap))
            return fail(QStringLiteral("INDEX 01 at %1 is before INDEX 00 at %2")
                            .arg(cueTimeText(read.at), cueTimeText(current->pregap->at)));
        current->start = read;
        return Outcome::success();
    }

    static bool before(const CueIndex &a, const CueIndex &b)
    {
        return a.file < b.file || (a.file == b.file && a.at < b.at);
    }

    CueSheet m_sheet;
    int m_line = 0;
};

} // namespace

QString cueTimeText(qint64 sheetFrames)
{
    const qint64 seconds = sheetFrames / kCueFramesPerSecond;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'))
        .arg(sheetFrames % kCueFramesPerSecond, 2, 10, QChar(u'0'));
}

namespace {

QByteArray g_charset;

} // namespace

void setCueCharset(const QByteArray &charset)
{
    g_charset = charset;
}

const QByteArray &cueCharset()
{
    return g_charset;
}

Result<CueSheet> parseCueSheet(const QByteArray &bytes, const QByteArray &charset)
{
    if (bytes.size() > kMaxCueSheetBytes)
        return Outcome::failure(tooLarge(bytes.size()));
    QString text = decodeTextFile(bytes, charset);
    // DOS tools end a text file with Ctrl-Z.
    if (text.endsWith(u'\x1a'))
        text.chop(1);
    return Parser().parse(text);
}

Result<CueSheet> readCueSheet(const QString &path)
{
    // Only a regular file: opening a FIFO would block.
    if (!QFileInfo(path).isFile())
        return Outcome::failure(QStringLiteral("The CUE sheet is not a regular file."));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Outcome::failure(QStringLiteral("The CUE sheet cannot be read: %1.").arg(file.errorString()));
    // One byte past the limit tells a sheet that is too large, whatever the file claims.
    const QByteArray bytes = file.read(kMaxCueSheetBytes + 1);
    if (bytes.size() > kMaxCueSheetBytes)
        return Outcome::failure(tooLarge(std::max(file.size(), qint64(bytes.size()))));
    if (file.error() != QFileDevice::NoError)
        return Outcome::failure(QStringLiteral("The CUE sheet cannot be read: %1.").arg(file.errorString()));
    return parseCueSheet(bytes, g_charset);
}
