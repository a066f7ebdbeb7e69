#include "commandline.h"

#include "commandoptions.h"
#include "lamewords.h"

namespace {

using Member = LameEncoderX::Member;

MemberKind kindOf(Member member)
{
    for (const MemberField &field : LameEncoderX::members())
        if (field.member == member)
            return field.kind;
    return MemberKind::Method;
}

// "--name=value", "--name value", "-o DIR" or "-oDIR": the value of an option that takes one,
// from the argument or the next (which i then moves to); nothing where there is none.
std::optional<QString> valueOf(const QString &arg, qsizetype equals, bool isLong, const QStringList &args, qsizetype &i)
{
    if (equals >= 0)
        return arg.mid(equals + 1);
    if (!isLong && arg.size() > 2)
        return arg.mid(2);
    if (i + 1 >= args.size())
        return std::nullopt;
    return args[++i];
}

// One of the encoder's members, --Member=value or --Member value.
Outcome readMember(Member member, const QString &arg, qsizetype equals, const QStringList &args, qsizetype &i,
                   Command &command)
{
    const std::optional<QString> value = valueOf(arg, equals, true, args, i);
    if (!value) {
        const MemberKind kind = kindOf(member);
        return Outcome::failure(QStringLiteral("%1 takes %2").arg(arg, kind == MemberKind::Switch ? QStringLiteral("True or False")
                                                                      : kind == MemberKind::Text   ? QStringLiteral("a text")
                                                                                                   : QStringLiteral("a number")));
    }
    return command.encoder.write(member, *value);
}

// One of the command's own options.
Outcome readOption(const CommandOption &option, const QString &arg, qsizetype equals, bool isLong,
                   const QStringList &args, qsizetype &i, Command &command)
{
    QString value;
    if (!option.value.isEmpty()) {
        const std::optional<QString> given = valueOf(arg, equals, isLong, args, i);
        if (!given)
            return Outcome::failure(QStringLiteral("%1 takes %2").arg(arg, option.value));
        value = *given;
    } else if (equals >= 0 || (!isLong && arg.size() > 2)) {
        return Outcome::failure(QStringLiteral("--%1 takes no value").arg(QLatin1String(option.name)));
    }
    command.given.emplace_back(QLatin1String(option.name), value);
    return option.set(command, value);
}

} // namespace

Request requestOf(const QStringList &args)
{
    const qsizetype files = args.indexOf(QLatin1String("--"));
    const QStringList options = files < 0 ? args : args.first(files);
    if (options.contains(QLatin1String("--help")) || options.contains(QLatin1String("-?")))
        return Request::Help;
    if (options.contains(QLatin1String("--version")))
        return Request::Version;
    return Request::Convert;
}

Outcome parse(const QStringList &args, Command &command)
{
    command.encoder.setFlacAndAiff(true);
    bool onlyFiles = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (onlyFiles || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            command.files << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            onlyFiles = true;
            continue;
        }
        if (std::optional<Outcome> lame = readLameWords(args, i, command)) {
            if (!*lame)
                return *lame;
            continue;
        }
        const bool isLong = arg.startsWith(QLatin1String("--"));
        const qsizetype equals = isLong ? arg.indexOf(QLatin1Char('=')) : -1;
        const QString name = isLong ? arg.mid(2, equals < 0 ? -1 : equals - 2) : arg.mid(1, 1);
        if (const CommandOption *option = commandOption(name, isLong ? 0 : name.at(0).toLatin1());
            option && option->set) {
            if (Outcome read = readOption(*option, arg, equals, isLong, args, i, command); !read)
                return read;
            continue;
        }
        const std::optional<Member> member = isLong ? LameEncoderX::memberByName(name) : std::nullopt;
        if (!member || kindOf(*member) == MemberKind::Method)
            return Outcome::failure(QStringLiteral("no option %1 (see --help)").arg(isLong ? QStringLiteral("--") + name : arg));
        if (Outcome read = readMember(*member, arg, equals, args, i, command); !read)
            return read;
    }
    return checkCommand(command);
}
