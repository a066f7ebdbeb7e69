#include "lameencoderx.h"

#include "encoderun.h"
#include "membervalues.h"
#include "encoder/core/members.h"
#include "encoder/core/scopeexit.h"
#include "encoder/core/syserror.h"
#include "encoder/input/wavefamily.h"

#include <QFile>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

using Member = LameEncoderX::Member;
using Kind = MemberKind;

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

// The window's input is a WAVE: any other file that opens is refused in the words the run used
// before FLAC and AIFF could be read. One that does not open is left to the run to explain.
Outcome waveOnly(const EncoderSettings &settings)
{
    if (settings.rawPcm)
        return Outcome::success();
    const int fd = ::open(QFile::encodeName(settings.inputFile).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Outcome::success();
    const ScopeExit closing([fd] { ::close(fd); });
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return Outcome::success();
    unsigned char head[kWaveHeadBytes] = {};
    if (::pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) && waveContainerOf(head, sizeof head))
        return Outcome::success();
    return Outcome::failure(
        QStringLiteral("The input %1 is not a %2 file.").arg(settings.inputFile, QLatin1String(kWaveName)));
}

} // namespace

LameEncoderX::LameEncoderX(QObject *parent) : QObject(parent) {}

LameEncoderX::~LameEncoderX()
{
    abortRun();
}

std::optional<LameEncoderX::Member> LameEncoderX::memberByName(QStringView name)
{
    for (const MemberField &field : memberFields()) {
        if (name.compare(QLatin1String(field.name), Qt::CaseInsensitive) == 0)
            return field.member;
    }
    return std::nullopt;
}

QString LameEncoderX::memberName(Member member)
{
    const MemberField *info = memberField(member);
    return info ? QString::fromLatin1(info->name) : QString::number(static_cast<int>(member));
}

QVariant LameEncoderX::defaultValue(Member member)
{
    const MemberField *info = memberField(member);
    return info ? memberValue(EncoderSettings {}, *info) : QVariant();
}

Outcome LameEncoderX::write(Member member, const QVariant &value)
{
    const MemberField *info = memberField(member);
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
        // Empty text gives the default.
        const int fallback = EncoderSettings {}.*info->number;
        const RateValue rate = info->kind == Kind::BitRate ? bitRateValue(value, fallback)
                                                           : rateValue(value, 0, 9, fallback);
        if (!rate.value)
            return Outcome::failure(QStringLiteral("%1: %2").arg(name, rate.refusal));
        m_settings.*info->number = *rate.value;
        return Outcome::success();
    }
    case Kind::Method:
        break;
    }
    return Outcome::failure(QStringLiteral("%1 cannot be written.").arg(name));
}

QVariant LameEncoderX::read(Member member) const
{
    const MemberField *info = memberField(member);
    return info ? memberValue(m_settings, *info) : QVariant();
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
    m_trackGain.reset();
    m_abort = std::make_shared<std::atomic_bool>(false);
    m_worker = std::thread([this, run, settings = m_settings, abort = m_abort, anyFormat = m_flacAndAiff] {
        qint64 finalFrames = 0;
        RunReport report;
        const auto progress = [&](int percent, qint64 frames) {
            // 100 travels with the end, so it is raised only after the worker is joined.
            if (percent >= 100) {
                finalFrames = frames;
                return;
            }
            post(run, [this, percent, frames] { emit EncodeProgress(percent, frames); });
        };
        const auto warn = [&](const QString &warning) { post(run, [this, warning] { emit EncodeWarning(warning); }); };
        Outcome end = anyFormat ? Outcome::success() : waveOnly(settings);
        if (end)
            end = runEncode(settings, ParallelPlan {}, *abort, progress, &report, warn);
        post(run, [this, end, finalFrames, gain = report.trackGain] {
            joinWorker();
            if (end) {
                m_trackGain = gain;
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
