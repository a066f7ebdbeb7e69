#include "messages.h"

#include "console.h"

void say(const QString &text)
{
    Console::err().line(QStringLiteral("sonovert-encode: ") + text);
}

void warn(const QString &text)
{
    say(QStringLiteral("warning: ") + text);
}

ExitStatus complain(ExitStatus status, const QString &why)
{
    say(why);
    if (status == ExitStatus::WrongUsage)
        Console::err().line(shortUsage() + QStringLiteral("\n(--help lists the options)"));
    return status;
}

QString shortUsage()
{
    return QStringLiteral("Usage: sonovert-encode INPUT OUTPUT [options]\n"
                          "  or:  sonovert-encode INPUT... [-o DIR] [options]\n"
                          "  or:  sonovert-encode --mirror SRC... -o DIR [options]");
}
