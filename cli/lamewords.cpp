#include "lamewords.h"

namespace {

using Member = LameEncoderX::Member;

// Writes member = value, saying which of lame's words it came from where the value is refused.
Outcome write(Command &command, const char *word, Member member, const QVariant &value)
{
    if (Outcome written = command.encoder.write(member, value); !written)
        return Outcome::failure(QStringLiteral("%1 %2: %3").arg(QLatin1String(word), value.toString(), written.message));
    return Outcome::success();
}

Outcome constantRate(Command &command, const char *word, const QString &value)
{
    command.lameBitrate = QLatin1String(word);
    return write(command, word, Member::Bitrate, value);
}

Outcome variableRate(Command &command, const char *word, const QString &value)
{
    bool number = false;
    const int quality = value.toInt(&number);
    if (!number || quality < 0 || quality > 9)
        return Outcome::failure(QStringLiteral("%1 takes a VBR quality from 0 (best) to 9, not %2").arg(QLatin1String(word), value));
    command.lameVbr = QLatin1String(word);
    if (Outcome on = write(command, word, Member::UseVBR, true); !on)
        return on;
    return write(command, word, Member::VBRRate, quality);
}

// lame 3.100's presets by name; its numbered ones are average-rate encodes, which this encoder
// does not make.
Outcome preset(Command &command, const QString &value)
{
    static const struct
    {
        const char *name;
        bool variable;
        const char *setting;
    } presets[] = {{"medium", true, "4"}, {"standard", true, "2"}, {"extreme", true, "0"}, {"insane", false, "320"}};
    for (const auto &row : presets) {
        if (value == QLatin1String(row.name))
            return row.variable ? variableRate(command, "--preset", QLatin1String(row.setting))
                                : constantRate(command, "--preset", QLatin1String(row.setting));
    }
    return Outcome::failure(QStringLiteral("--preset takes medium, standard, extreme or insane (lame's numbered "
                                           "presets are average-rate encodes, which this encoder does not make)"));
}

template <Member member, bool on>
Outcome setSwitch(Command &command, const QString &)
{
    return command.encoder.write(member, on);
}

template <Member member>
Outcome setText(Command &command, const QString &value)
{
    return command.encoder.write(member, value);
}

const LameWord kWords[] = {
    {"-b", "N", "a constant bit rate of N kbit/s (--Bitrate=N)",
     [](Command &command, const QString &value) { return constantRate(command, "-b", value); }},
    {"-V", "N", "variable bit rate of quality N, 0 best to 9 (--UseVBR=True --VBRRate=N)",
     [](Command &command, const QString &value) { return variableRate(command, "-V", value); }},
    {"--preset", "medium|standard|extreme|insane", "-V 4, -V 2, -V 0 or -b 320, as lame 3.100 has them", preset},
    {"-f", nullptr, "fast (--FastMode=True)", setSwitch<Member::FastMode, true>},
    {"-h", nullptr, "higher quality (--FixQuality=True)", setSwitch<Member::FixQuality, true>},
    {"-m", "m", "mono (--Mono=True); lame's other modes are not offered",
     [](Command &command, const QString &value) {
         if (value != QLatin1String("m"))
             return Outcome::failure(QStringLiteral("-m takes m (mono) only, not %1").arg(value));
         return command.encoder.write(Member::Mono, true);
     }},
    {"-x", nullptr, "swap the input's bytes (--ForceByteSwap=True)", setSwitch<Member::ForceByteSwap, true>},
    {"-r", nullptr, "the input is raw PCM (--RawPCM=True)", setSwitch<Member::RawPCM, true>},
    {"-c", nullptr, "copyrighted (--Copyrighted=True)", setSwitch<Member::Copyrighted, true>},
    {"-t", nullptr, "no info tag (--WriteInfoTag=False)", setSwitch<Member::WriteInfoTag, false>},
    {"--tt", "TEXT", "title (--TagTitle)", setText<Member::TagTitle>},
    {"--ta", "TEXT", "artist (--TagArtist)", setText<Member::TagArtist>},
    {"--tl", "TEXT", "album (--TagAlbum)", setText<Member::TagAlbum>},
    {"--ty", "TEXT", "year (--TagYear)", setText<Member::TagYear>},
    {"--tg", "TEXT", "genre (--TagGenre)", setText<Member::TagGenre>},
    {"--noreplaygain", nullptr, "no loudness analysis (--replaygain=off)",
     [](Command &command, const QString &) {
         command.encoder.setReplayGain(false);
         return Outcome::success();
     }},
};

} // namespace

std::span<const LameWord> lameWords()
{
    return kWords;
}

namespace {

const LameWord *lameWord(QStringView name)
{
    for (const LameWord &word : kWords)
        if (name == QLatin1String(word.word))
            return &word;
    return nullptr;
}

// The value of a word that takes one: given after "=" or joined, else the next argument.
std::optional<QString> valueOf(const QString &given, const QStringList &args, qsizetype &i)
{
    if (given.startsWith(QLatin1Char('=')))
        return given.mid(1);
    if (!given.isEmpty())
        return given;
    if (i + 1 >= args.size())
        return std::nullopt;
    return args[++i];
}

} // namespace

std::optional<Outcome> readLameWords(const QStringList &args, qsizetype &i, Command &command)
{
    const QString arg = args[i];
    if (arg.startsWith(QLatin1String("--"))) {
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const LameWord *word = lameWord(QStringView(arg).first(equals < 0 ? arg.size() : equals));
        if (!word)
            return std::nullopt;
        if (!word->value) {
            if (equals >= 0)
                return Outcome::failure(QStringLiteral("%1 takes no value").arg(QLatin1String(word->word)));
            return word->apply(command, QString());
        }
        const std::optional<QString> value = valueOf(equals < 0 ? QString() : arg.mid(equals), args, i);
        if (!value)
            return Outcome::failure(QStringLiteral("%1 takes %2").arg(QLatin1String(word->word), QLatin1String(word->value)));
        return word->apply(command, *value);
    }
    // Short switches, one after another as lame reads them, until one that takes a value takes
    // the rest of the argument or the next.
    if (arg.size() < 2 || !lameWord(QStringView(arg).first(2)))
        return std::nullopt;
    for (qsizetype at = 1; at < arg.size(); ++at) {
        const QString name = QLatin1Char('-') + arg.at(at);
        const LameWord *word = lameWord(name);
        if (!word)
            return Outcome::failure(
                QStringLiteral("%1 cannot be bundled in %2: only lame's switches bundle (-fh, -mm)").arg(name, arg));
        if (word->value) {
            const std::optional<QString> value = valueOf(arg.mid(at + 1), args, i);
            if (!value)
                return Outcome::failure(QStringLiteral("%1 takes %2").arg(name, QLatin1String(word->value)));
            return word->apply(command, *value);
        }
        if (at + 1 < arg.size() && arg.at(at + 1) == QLatin1Char('='))
            return Outcome::failure(QStringLiteral("%1 takes no value").arg(name));
        if (Outcome applied = word->apply(command, QString()); !applied)
            return applied;
    }
    return Outcome::success();
}

Outcome checkLameWords(const Command &command)
{
    if (!command.lameBitrate.isEmpty() && !command.lameVbr.isEmpty())
        return Outcome::failure(QStringLiteral("%1 with %2 is lame's lowest VBR bit rate, which this encoder has no "
                                               "setting for: give a constant rate or a VBR quality, not both")
                                    .arg(command.lameBitrate, command.lameVbr));
    return Outcome::success();
}
