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
#include <QRegularExpression>
#include <QStringList>

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

QString foldedName(const QString &path, bool caseless)
{
    return caseless ? path.toCaseFolded() : path;
}

OutputChoice OutputClaims::take(const QString &path, const QString &asked, bool caseless)
{
    m_claimed.insert(foldedName(key(path), caseless), key(asked));
    return {OutputChoice::Kind::Convert, path};
}

OutputChoice OutputClaims::claim(const QString &input, const QString &given, const QString &askedFor, bool caseless)
{
    const QString asked = askedFor.isEmpty() ? given : askedFor;
    const auto claimed = [&](const QString &path) { return m_claimed.constFind(foldedName(key(path), caseless)); };
    // A twin of an earlier output: the first number free among the outputs handed out, then as
    // any other output, so that a repeat run finds its own MP3 there.
    QString wanted = given;
    for (int n = 2; claimed(wanted) != m_claimed.cend() && *claimed(wanted) != key(asked); ++n)
        wanted = numbered(given, n);
    const bool taken = claimed(wanted) != m_claimed.cend();
    const bool isInput = sameFile(input, wanted);
    const bool exists = present(wanted);
    if (!taken && !isInput && !exists)
        return take(wanted, asked, caseless);
    if (m_policy == ExistingPolicy::Rename) {
        for (int n = 2;; ++n) {
            const QString candidate = numbered(wanted, n);
            if (claimed(candidate) == m_claimed.cend() && !present(candidate))
                return take(candidate, asked, caseless);
        }
    }
    if (isInput)
        return {OutputChoice::Kind::IsInput, wanted};
    if (taken)
        return {OutputChoice::Kind::Taken, wanted};
    if (m_policy == ExistingPolicy::Overwrite)
        return take(wanted, asked, caseless);
    // Kept as this input's MP3: a twin after it is numbered as in the run that made it.
    take(wanted, asked, caseless);
    return {OutputChoice::Kind::Exists, wanted};
}

QString FolderSpellings::spelled(const QString &base, const QString &fitted, const QString &asked, bool caseless)
{
    const QStringList names = fitted.split(QLatin1Char('/'));
    const QStringList askedNames = asked.split(QLatin1Char('/'));
    QString parent = base;
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        const QString prefix = parent + QLatin1Char('/');
        const QString given = prefix + QLatin1Char('\0') + askedNames.value(i);
        auto known = m_spelling.constFind(given);
        if (known == m_spelling.cend()) {
            QString candidate = prefix + names[i];
            for (int n = 2; m_taken.contains(foldedName(candidate, caseless)); ++n)
                candidate = prefix + names[i] + QStringLiteral(" (%1)").arg(n);
            m_taken.insert(foldedName(candidate, caseless));
            known = m_spelling.insert(given, candidate);
        }
        parent = *known;
    }
    return parent + QLatin1Char('/') + names.last();
}

void FolderSpellings::keep(const QString &base, const QString &spelled, const QString &fitted, const QString &asked,
                           bool caseless)
{
    const QStringList names = spelled.split(QLatin1Char('/'));
    const QStringList fittedNames = fitted.split(QLatin1Char('/'));
    const QStringList askedNames = asked.split(QLatin1Char('/'));
    if (names.size() != askedNames.size() || names.size() != fittedNames.size())
        return;
    static const QRegularExpression number(QStringLiteral(" \\([0-9]+\\)$"));
    QString parent = base;
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        if (names[i] != fittedNames[i] && QString(names[i]).remove(number) != fittedNames[i])
            return;
        const QString given = parent + QLatin1Char('/') + QLatin1Char('\0') + askedNames[i];
        const QString folder = parent + QLatin1Char('/') + names[i];
        const auto known = m_spelling.constFind(given);
        if (known != m_spelling.cend() && *known != folder)
            return;
        m_spelling.insert(given, folder);
        m_taken.insert(foldedName(folder, caseless));
        parent = folder;
    }
}
