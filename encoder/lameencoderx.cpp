#include "lameencoderx.h"

#include "encoderun.h"
#include "membervalues.h"
#include "encoder/core/syserror.h"

#include <QFile>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

using Member = LameEncoderX::Member;

enum class Kind { Text, Switch, BitRate, VbrRate, Method };

struct MemberInfo
{
    Member member;
    const char *name;
    Kind kind;
    QString EncoderSettings::*text = nullptr;
    bool EncoderSettings::*flag = nullptr;
};

const MemberInfo kMembers[] = {
    {Member::InputFile, "InputFile", Kind::Text, &EncoderSettings::inputFile},
    {Member::OutputFile, "OutputFile", Kind::Text, &EncoderSettings::outputFile},
    {Member::Bitrate, "Bitrate", Kind::BitRate},
    {Member::VoiceMode, "VoiceMode", Kind::Switch, nullptr, &EncoderSettings::voiceMode},
    {Member::UseVBR, "UseVBR", Kind::Switch, nullptr, &EncoderSettings::useVbr},
    {Member::VBRRate, "VBRRate", Kind::VbrRate},
    {Member::SkipTags, "SkipTags", Kind::Switch, nullptr, &EncoderSettings::skipTags},
    {Member::FixQuality, "FixQuality", Kind::Switch, nullptr, &EncoderSettings::fixQuality},
    {Member::FastMode, "FastMode", Kind::Switch, nullptr, &EncoderSettings::fastMode},
    {Member::RawPCM, "RawPCM", Kind::Switch, nullptr, &EncoderSettings::rawPcm},
    {Member::ForceByteSwap, "ForceByteSwap", Kind::Switch, nullptr, &EncoderSettings::forceByteSwap},
    {Member::Mono, "Mono", Kind::Switch, nullptr, &EncoderSettings::mono},
    {Member::WriteInfoTag, "WriteInfoTag", Kind::Switch, nullptr, &EncoderSettings::writeInfoTag},
    {Member::Copyrighted, "Copyrighted", Kind::Switch, nullptr, &EncoderSettings::copyrighted},
    {Member::Original, "Original", Kind::Switch, nullptr, &EncoderSettings::original},
    {Member::TagTitle, "TagTitle", Kind::Text, &EncoderSettings::tagTitle},
    {Member::TagArtist, "TagArtist", Kind::Text, &EncoderSettings::tagArtist},
    {Member::TagAlbum, "TagAlbum", Kind::Text, &EncoderSettings::tagAlbum},
    {Member::TagYear, "TagYear", Kind::Text, &EncoderSettings::tagYear},
    {Member::TagGenre, "TagGenre", Kind::Text, &EncoderSettings::tagGenre},
    {Member::Encode, "Encode", Kind::Method},
    {Member::Abort, "Abort", Kind::Method},
};

const MemberInfo *infoOf(Member member)
{
    for (const MemberInfo &info : kMembers) {
        if (info.member == member)
            return &info;
    }
    return nullptr;
}

constexpr int kDefaultBitrate = 128;
constexpr int kDefaultVbrRate = 4;

// Why Encode cannot start with these settings; success when it can.
Outcome checkFiles(const EncoderSettings &settings)
{
    if (settings.inputFile.isEmpty())
        return Outcome::failure(QStringLiteral("No input file is named."));
    const QByteArray input = QFile::encodeName(settings.inputFile);
    struct stat in {};
    if (::stat(input.constData(), &in) != 0) {
        if (errno == ENOENT)
            return Outcome::failure(QStringLiteral("The input file %1 does not exist.").arg(settings.inputFile));
        return Outcome::failure(QStringLiteral("Cannot read %1: %2").arg(settings.inputFile, systemError(errno)));
    }
    // Only a regular file: opening a FIFO would block the window.
    if (!S_ISREG(in.st_mode))
        return Outcome::failure(QStringLiteral("The input %1 is not a file.").arg(settings.inputFile));
    const int fd = ::open(input.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Outcome::failure(QStringLiteral("Cannot read %1: %2").arg(settings.inputFile, systemError(errno)));
    ::close(fd);

    if (settings.outputFile.isEmpty())
        return Outcome::failure(QStringLiteral("No output file is named."));
    // The same file under any name, through a symbolic or a hard link, is still the input.
    struct stat out {};
    if (::stat(QFile::encodeName(settings.outputFile).constData(), &out) == 0 && out.st_dev == in.st_dev
        && out.st_ino == in.st_ino)
        return Outcome::failure(
            QStringLiteral("The output file %1 is the input file; choose another output name.")
                .arg(settings.outputFile));
    return Outcome::success();
}

} // namespace

LameEncoderX::LameEncoderX(QObject *parent) : QObject(parent) {}

LameEncoderX::~LameEncoderX()
{
    abortRun();
}

std::optional<LameEncoderX::Member> LameEncoderX::memberByName(QStringView name)
{
    for (const MemberInfo &info : kMembers) {
        if (name.compare(QLatin1String(info.name), Qt::CaseInsensitive) == 0)
            return info.member;
    }
    return std::nullopt;
}

QString LameEncoderX::memberName(Member member)
{
    const MemberInfo *info = infoOf(member);
    return info ? QString::fromLatin1(info->name) : QString::number(static_cast<int>(member));
}

Outcome LameEncoderX::write(Member member, const QVariant &value)
{
    const MemberInfo *info = infoOf(member);
    if (!info)
        return Outcome::failure(QStringLiteral("There is no member %1.").arg(static_cast<int>(member)));
    const QString name = QString::fromLatin1(info->name);
    if (info->kind == Kind::Method)
        return Outcome::failure(QStringLiteral("%1 is a method; it is called, not written.").arg(name));
    if (isEncoding())
        return Outcome::failure(QStringLiteral("%1 cannot be changed while a conversion is running.").arg(name));

    switch (info->kind) {
    case Kind::Text: {
        const std::optional<QString> text = textValue(value);
        if (!text)
            return Outcome::failure(QStringLiteral("%1 takes text.").arg(name));
        m_settings.*info->text = *text;
        return Outcome::success();
    }
    case Kind::Switch: {
        const std::optional<bool> flag = switchValue(value);
        if (!flag)
            return Outcome::failure(QStringLiteral("%1 takes True or False.").arg(name));
        m_settings.*info->flag = *flag;
        return Outcome::success();
    }
    case Kind::BitRate:
    case Kind::VbrRate: {
        const bool bitRate = info->kind == Kind::BitRate;
        const RateValue rate = bitRate ? bitRateValue(value, kDefaultBitrate)
                                       : rateValue(value, 0, 9, kDefaultVbrRate);
        if (!rate.value)
            return Outcome::failure(QStringLiteral("%1: %2").arg(name, rate.refusal));
        (bitRate ? m_settings.bitrate : m_settings.vbrRate) = *rate.value;
        return Outcome::success();
    }
    case Kind::Method:
        break;
    }
    return Outcome::failure(QStringLiteral("%1 cannot be written.").arg(name));
}

QVariant LameEncoderX::read(Member member) const
{
    const MemberInfo *info = infoOf(member);
    if (!info)
        return {};
    switch (info->kind) {
    case Kind::Text:
        return m_settings.*info->text;
    case Kind::Switch:
        return m_settings.*info->flag;
    case Kind::BitRate:
        return m_settings.bitrate;
    case Kind::VbrRate:
        return m_settings.vbrRate;
    case Kind::Method:
        break;
    }
    return {};
}

Outcome LameEncoderX::call(Member member)
{
    switch (member) {
    case Member::Encode: {
        if (isEncoding())
            return Outcome::failure(QStringLiteral("A conversion is already running."));
        if (Outcome usable = checkFiles(m_settings); !usable)
            return usable;
        startRun();
        return Outcome::success();
    }
    case Member::Abort:
        abortRun();
        return Outcome::success();
    default:
        return Outcome::failure(QStringLiteral("%1 is not a method.").arg(memberName(member)));
    }
}

template <typename Event>
void LameEncoderX::post(quint64 run, Event event)
{
    // Runs on this object's thread; an event of a run that was aborted or replaced is dropped.
    QMetaObject::invokeMethod(
        this,
        [this, run, event = std::move(event)] {
            if (run == m_run)
                event();
        },
        Qt::QueuedConnection);
}

void LameEncoderX::startRun()
{
    const quint64 run = ++m_run;
    m_abort = std::make_shared<std::atomic_bool>(false);
    m_worker = std::thread([this, run, settings = m_settings, abort = m_abort] {
        qint64 finalFrames = 0;
        const Outcome end = runEncode(settings, *abort, [&](int percent, qint64 frames) {
            // 100 travels with the end, so it is raised only after the worker is joined.
            if (percent >= 100) {
                finalFrames = frames;
                return;
            }
            post(run, [this, percent, frames] { emit EncodeProgress(percent, frames); });
        });
        post(run, [this, end, finalFrames] {
            joinWorker();
            if (end) {
                emit EncodeProgress(100, finalFrames);
                emit EncodeFinished();
            } else {
                emit EncodeFailed(end.message);
            }
        });
    });
}

void LameEncoderX::abortRun()
{
    if (!m_worker.joinable())
        return;
    m_abort->store(true);
    ++m_run; // whatever the run queued is now stale
    joinWorker();
}

void LameEncoderX::joinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
}
