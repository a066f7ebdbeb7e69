#include "nametemplate.h"

#include "encoder/batch/outputclaims.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <span>

namespace {

QString keyName(const TagField &field)
{
    return QString::fromLatin1(field.words).remove(QLatin1Char(' ')).toLower();
}

QString fieldText(const TagSet &tags, TagKey key, int width)
{
    QString text = tags.text(key);
    if (text.isEmpty() && key == TagKey::AlbumArtist) {
        key = TagKey::Artist;
        text = tags.text(key);
    }
    if (text.isEmpty())
        return QStringLiteral("Unknown ") + QLatin1String(tagField(key).words);
    const QString number = text.section(QLatin1Char('/'), 0, 0).trimmed();
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    if (width > 0 && !number.isEmpty() && std::all_of(number.begin(), number.end(), digit))
        text = number.rightJustified(width, QLatin1Char('0'));
    return withoutUnnamable(text);
}

} // namespace

Result<NameTemplate> NameTemplate::read(const QString &text)
{
    const auto refused = [&text](const QString &why) {
        return Outcome::failure(QStringLiteral("--name=%1: %2").arg(text, why));
    };
    if (text.isEmpty())
        return Outcome::failure(QStringLiteral("--name takes a template, such as {artist}/{album}/{track:02} {title}"));
    if (text.split(QLatin1Char('/')).contains(QString()))
        return refused(QStringLiteral("a name between slashes is empty"));
    static const QRegularExpression fieldPattern(QStringLiteral("\\{([^{}]*)\\}"));
    static const QRegularExpression keyPattern(QStringLiteral("^([a-z]+)(?::0([0-9]{1,2}))?$"));
    NameTemplate made;
    made.m_text = text;
    const auto literal = [&made](const QString &part) {
        made.m_parts.push_back({part, std::nullopt, 0});
        return !part.contains(QLatin1Char('{')) && !part.contains(QLatin1Char('}'));
    };
    qsizetype at = 0;
    for (const QRegularExpressionMatch &field : fieldPattern.globalMatch(text)) {
        if (!literal(text.mid(at, field.capturedStart() - at)))
            return refused(QStringLiteral("a brace without its pair"));
        at = field.capturedEnd();
        const QRegularExpressionMatch key = keyPattern.match(field.captured(1));
        const std::span<const TagField> fields = allTagFields();
        const auto found =
            std::ranges::find_if(fields, [&key](const TagField &f) { return keyName(f) == key.captured(1); });
        if (!key.hasMatch() || found == fields.end())
            return refused(QStringLiteral("%1 is no field; a field is {key} or {key:0N}, its number padded to N "
                                          "figures, with the key one of %2")
                               .arg(field.captured(), keys()));
        made.m_parts.push_back({QString(), found->key, key.captured(2).toInt()});
    }
    if (!literal(text.mid(at)))
        return refused(QStringLiteral("a brace without its pair"));
    return made;
}

QString NameTemplate::expand(const TagSet &tags) const
{
    QString path;
    for (const Part &part : m_parts)
        path += part.key ? fieldText(tags, *part.key, part.width) : part.text;
    QStringList names = path.split(QLatin1Char('/'));
    for (QString &name : names) {
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            name.fill(QLatin1Char('_'));
    }
    return names.join(QLatin1Char('/'));
}

QString NameTemplate::keys()
{
    QStringList names;
    for (const TagField &field : allTagFields())
        names << keyName(field);
    return names.join(QStringLiteral(", "));
}
