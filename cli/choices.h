#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// A value an option takes by name ("skip", "on"): one table of these per option both reads the
// command line and writes the option's help.
template <typename T>
struct Choice
{
    const char *name;
    T value;
};

// "skip|overwrite|rename", as the help shows what an option takes.
template <typename T, std::size_t N>
QString choiceNames(const Choice<T> (&choices)[N])
{
    QStringList names;
    for (const Choice<T> &choice : choices)
        names << QLatin1String(choice.name);
    return names.join(QLatin1Char('|'));
}

// "skip, overwrite or rename", as an error message lists them.
template <typename T, std::size_t N>
QString choiceList(const Choice<T> (&choices)[N])
{
    QStringList names;
    for (const Choice<T> &choice : choices)
        names << QLatin1String(choice.name);
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

template <typename T, std::size_t N>
std::optional<T> choiceByName(const Choice<T> (&choices)[N], const QString &name)
{
    for (const Choice<T> &choice : choices)
        if (name == QLatin1String(choice.name))
            return choice.value;
    return std::nullopt;
}

template <typename T, std::size_t N>
QString choiceName(const Choice<T> (&choices)[N], T value)
{
    for (const Choice<T> &choice : choices)
        if (choice.value == value)
            return QLatin1String(choice.name);
    return {};
}
