#include "filecommand.h"

#include "clippingwarning.h"
#include "console.h"
#include "messages.h"
#include "stopsignals.h"

#include "encoder/input/audiosource.h"
#include "encoder/lameencoderx.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace {

using Member = LameEncoderX::Member;

// One line on a terminal, redrawn in place: percent, seconds so far, speed against real time.
class ProgressLine
{
public:
    // Called once Encode has accepted the input, so it is a regular file that opens at once.
    void start(const LameEncoderX &encoder)
    {
        if (!Console::err().isTerminal())
            return;
        m_shown = true;
        // Only for the speed; the run opens the input again on its own.
        AudioSource source;
        if (source.open(encoder.read(Member::InputFile).toString(), encoder.read(Member::RawPCM).toBool(),
                        encoder.read(Member::ForceByteSwap).toBool()))
            m_sampleRate = source.info().sampleRate;
        m_clock.start();
    }

    void update(int percent, qint64 frames)
    {
        if (!m_shown)
            return;
        const double seconds = m_clock.nsecsElapsed() / 1e9;
        QString line = QStringLiteral("%1 %  %2 s").arg(percent, 4).arg(seconds, 0, 'f', 1);
        if (m_sampleRate > 0 && seconds > 0)
            line += QStringLiteral("  %1x").arg(frames / double(m_sampleRate) / seconds, 0, 'f', 1);
        Console::err().progress(line);
    }

    // The last line stays, and what is said next goes below it.
    void end()
    {
        Console::err().keepProgress();
        m_shown = false;
    }

private:
    bool m_shown = false;
    int m_sampleRate = 0;
    QElapsedTimer m_clock;
};

} // namespace

ExitStatus runFileCommand(LameEncoderX &encoder, const QString &input, const QString &output,
                          std::optional<int> threads)
{
    if (Outcome written = encoder.write(Member::InputFile, input); !written)
        return complain(ExitStatus::WrongUsage, written.message);
    if (Outcome written = encoder.write(Member::OutputFile, output); !written)
        return complain(ExitStatus::WrongUsage, written.message);
    if (threads)
        encoder.setWorkers(*threads);

    ProgressLine progress;
    ExitStatus status = ExitStatus::Failed;
    QObject::connect(&encoder, &LameEncoderX::EncodeProgress, [&](int percent, qint64 frames) {
        progress.update(percent, frames);
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeWarning, [&](const QString &message) {
        progress.end();
        warn(message);
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeFinished, [&] {
        progress.end();
        if (const QString clipping = clippingWarning(encoder.trackGain()); !clipping.isEmpty())
            warn(clipping);
        status = ExitStatus::Success;
        QCoreApplication::quit();
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeFailed, [&](const QString &message) {
        progress.end();
        complain(ExitStatus::Failed, message);
        QCoreApplication::quit();
    });
    // A stop signal aborts the run, so no temporary file is left, and ends with 128 + its number.
    catchStopSignals();
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [&] {
        if (const int number = stopSignalCaught()) {
            progress.end();
            (void)encoder.call(Member::Abort); // returns once the run has ended
            say(QStringLiteral("stopped by %1").arg(QLatin1String(stopSignalName(number))));
            status = stoppedBy(number);
            QCoreApplication::quit();
        }
    });
    stopWatch.start(50);
    // Refused here: the input cannot be read, the output is the input, and the like.
    if (Outcome started = encoder.call(Member::Encode); !started)
        return complain(ExitStatus::Failed, started.message);
    progress.start(encoder);
    QCoreApplication::exec();
    return status;
}
