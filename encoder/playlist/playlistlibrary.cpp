#include "playlistlibrary.h"

#include <QDir>
#include <QRegularExpression>
#include <QUrl>

namespace {

// "C:/Music/a.wav" or "/C:/Music/a.wav" (a file:// URL's): the path after the drive, or nothing.
std::optional<QString> afterDrive(const QString &path)
{
    static const QRegularExpression drive(QStringLiteral("^/?[A-Za-z]:(/|$)"));
    const QRegularExpressionMatch match = drive.match(path);
    if (!match.hasMatch())
        return std::nullopt;
    return QLatin1Char('/') + path.mid(match.capturedLength());
}

// The #EXTINF line with its duration (the number after the colon) replaced, its text kept.
QString withDuration(const QString &info, const QString &duration)
{
    const qsizetype colon = info.indexOf(u':');
    qsizetype end = colon + 1;
    while (end < info.size() && (info[end].isDigit() || info[end] == u'-' || info[end] == u'.'))
        ++end;
    return info.left(colon + 1) + duration + info.mid(end);
}

} // namespace

PlaylistLibrary::PlaylistLibrary(QStringList roots) : m_roots(std::move(roots))
{
    for (QString &root : m_roots)
        root = QDir::cleanPath(root);
}

void PlaylistLibrary::add(const QString &source, const PlaylistTarget &target)
{
    addWithoutMp3(source);
    m_targets[source].push_back(target);
}

void PlaylistLibrary::addWithoutMp3(const QString &source)
{
    QStringList &same = m_folded[source.toCaseFolded()];
    if (!same.contains(source))
        same << source;
}

QString PlaylistLibrary::known(const QString &path) const
{
    const QStringList same = m_folded.value(path.toCaseFolded());
    if (same.contains(path))
        return path;
    // Written by hand, or on a system that tells no case: only where it cannot be another file.
    return same.size() == 1 ? same.front() : QString();
}

bool PlaylistLibrary::belowRoot(const QString &path) const
{
    return std::any_of(m_roots.cbegin(), m_roots.cend(), [&path](const QString &root) {
        return root == QLatin1String("/") || path.startsWith(root + QLatin1Char('/'));
    });
}

QString PlaylistLibrary::resolve(const QString &entry, const QString &folder) const
{
    QString text = entry.trimmed();
    if (text.isEmpty() || text.startsWith(u'#'))
        return {};
    if (text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        text = QUrl(text).toLocalFile();
        if (text.isEmpty())
            return {};
    } else if (static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+://"));
               scheme.match(text).hasMatch()) {
        return {}; // a stream, or a place no file of SRC is ("Live: 1999/" is a folder)
    }
    text.replace(u'\\', u'/');
    // Another system's absolute path: only its tail may name a file here.
    bool foreign = text.startsWith(QLatin1String("//"));
    if (const std::optional<QString> rest = afterDrive(text)) {
        text = *rest;
        foreign = true;
    }
    const QString path = QDir::cleanPath(text.startsWith(u'/') ? text : folder + QLatin1Char('/') + text);
    if (!foreign && belowRoot(path))
        return known(path);
    // The longest tail that names a file below a root: the library copied from another system
    // or moved since.
    const QStringList names = path.split(u'/', Qt::SkipEmptyParts);
    for (qsizetype from = names.lastIndexOf(QStringLiteral("..")) + 1; from < names.size(); ++from) {
        const QString tail = names.mid(from).join(u'/');
        for (const QString &root : m_roots) {
            const QString found = known(root == QLatin1String("/") ? u'/' + tail : root + u'/' + tail);
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

RewrittenPlaylist rewritePlaylist(const QStringList &lines, const QString &sourceFolder,
                                  const PlaylistLibrary &library, const QString &playlistFolder,
                                  const Mp3Seconds &seconds)
{
    RewrittenPlaylist out;
    const QDir folder(playlistFolder);
    std::optional<QString> info; // the #EXTINF waiting for its entry
    QStringList held; // directives between it and its entry
    for (const QString &line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("#EXTINF:"), Qt::CaseInsensitive)) {
            if (info)
                out.lines << *info << held; // one without an entry stays as it was
            info = line;
            held.clear();
            continue;
        }
        if (trimmed.isEmpty() || trimmed.startsWith(u'#')) {
            (info ? held : out.lines) << line;
            continue;
        }
        const QString source = library.resolve(trimmed, sourceFolder);
        const std::vector<PlaylistTarget> targets = source.isEmpty() ? std::vector<PlaylistTarget>()
                                                                     : library.targets(source);
        if (targets.empty())
            ++out.dropped;
        for (std::size_t at = 0; at < targets.size(); ++at) {
            const PlaylistTarget &target = targets[at];
            const std::optional<qint64> length = seconds(target.mp3);
            const QString duration = length ? QString::number(*length) : QStringLiteral("-1");
            if (!target.info.isEmpty())
                out.lines << QStringLiteral("#EXTINF:%1,%2").arg(duration, target.info);
            else if (info)
                out.lines << withDuration(*info, duration);
            if (at == 0)
                out.lines << held;
            out.lines << folder.relativeFilePath(target.mp3);
        }
        info.reset();
        held.clear();
    }
    if (info)
        out.lines << *info << held;
    return out;
}
