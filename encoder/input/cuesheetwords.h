#pragma once

#include "cuesheet.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <algorithm>
#include <optional>

// The words and times of a CUE sheet's lines.

// Whether text is least to most decimal digits.
inline bool allDigits(QStringView text, qsizetype least, qsizetype most)
{
    return text.size() >= least && text.size() <= most
           && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// mm:ss:ff; minutes go past 99 in long images.
inline std::optional<qint64> parseTime(const QString &text)
{
    const QStringList parts = text.split(u':');
    if (parts.size() != 3 || !allDigits(parts[0], 1, 5) || !allDigits(parts[1], 1, 2) || !allDigits(parts[2], 1, 2))
        return std::nullopt;
    const qint64 minutes = parts[0].toLongLong();
    const int seconds = parts[1].toInt();
    const int frames = parts[2].toInt();
    if (seconds >= 60 || frames >= kCueFramesPerSecond)
        return std::nullopt;
    return (minutes * 60 + seconds) * kCueFramesPerSecond + frames;
}

// The words of one line: a quoted text is one, quotes removed.
class CueWords
{
public:
    explicit CueWords(QStringView line) : m_rest(line) {}

    // The next word; empty at the line's end.
    QString next()
    {
        skipSpace();
        if (m_rest.startsWith(u'"')) {
            const qsizetype close = m_rest.indexOf(u'"', 1);
            const qsizetype end = close < 0 ? m_rest.size() : close;
            const QString word = m_rest.sliced(1, end - 1).toString();
            m_rest = m_rest.sliced(std::min(end + 1, m_rest.size()));
            return word;
        }
        qsizetype end = 0;
        while (end < m_rest.size() && !m_rest[end].isSpace())
            ++end;
        const QString word = m_rest.first(end).toString();
        m_rest = m_rest.sliced(end);
        return word;
    }

    // A text value: the quoted text, or the rest of the line where it is not quoted.
    QString text()
    {
        skipSpace();
        if (m_rest.startsWith(u'"'))
            return next();
        const QString rest = m_rest.trimmed().toString();
        m_rest = {};
        return rest;
    }

    // A FILE's name: quoted, or the rest of the line less its last word (the type), so an
    // unquoted name may hold spaces.
    QString fileName()
    {
        skipSpace();
        if (m_rest.startsWith(u'"'))
            return next();
        const QStringView rest = m_rest.trimmed();
        qsizetype space = rest.size();
        while (space > 0 && !rest[space - 1].isSpace())
            --space;
        if (space == 0) { // one word: a name without its type
            m_rest = {};
            return rest.toString();
        }
        m_rest = rest.sliced(space);
        return rest.first(space).trimmed().toString();
    }

private:
    void skipSpace()
    {
        while (!m_rest.isEmpty() && m_rest.front().isSpace())
            m_rest = m_rest.sliced(1);
    }

    QStringView m_rest;
};
