#include "outputclaims.h"

QString withoutUnnamable(QString text)
{
    for (QChar &c : text) {
        if (c == u'/' || c.category() == QChar::Other_Control)
            c = u'_';
    }
    return text;
}

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

QString key(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Also through links and hard links.
bool sameFile(const QString &a, const QString &b)
{
    struct stat first {}, second {};
    if (::stat(QFile::encodeName(a).constData(), &first) != 0
        || ::stat(QFile::encodeName(b).constData(), &second) != 0)
        return key(a) == key(b);
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// A dangling link counts: writing through it would create a file elsewhere.
bool present(const QString &path)
{
    struct stat any {};
    return ::lstat(QFile::encodeName(path).constData(), &any) == 0;
}

} // namespace

QString OutputClaims::numbered(const QString &output, int n)
{
    const qsizetype dot = output.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = output.lastIndexOf(QLatin1Char('/'));
    const qsizetype at = dot > slash + 1 ? dot : output.size();
    return output.left(at) + QStringLiteral(" (%1)").arg(n) + output.mid(at);
}

OutputChoice OutputClaims::take(const QString &path)
{
    m_claimed.insert(key(path));
    return {OutputChoice::Kind::Convert, path};
}

OutputChoice OutputClaims::claim(const QString &input, const QString &wanted)
{
    const bool taken = m_claimed.contains(key(wanted));
    const bool isInput = sameFile(input, wanted);
    const bool exists = present(wanted);
    if (!taken && !isInput && !exists)
        return take(wanted);
    if (m_policy == ExistingPolicy::Rename) {
        for (int n = 2;; ++n) {
            const QString candidate = numbered(wanted, n);
            if (!m_claimed.contains(key(candidate)) && !present(candidate))
                return take(candidate);
        }
    }
    if (isInput)
        return {OutputChoice::Kind::IsInput, wanted};
    if (taken)
        return {OutputChoice::Kind::Taken, wanted};
    if (m_policy == ExistingPolicy::Overwrite)
        return take(wanted);
    return {OutputChoice::Kind::Exists, wanted};
}
