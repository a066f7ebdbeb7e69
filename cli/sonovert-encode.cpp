// sonovert-encode INPUT OUTPUT [--Member=value ...] [--threads=N] [--replaygain=on|off]
//                 [--source-tags=keep|ignore] [--cover=FILE]
// Converts as the window does: every member written by name through LameEncoderX, then Encode,
// then the event loop until the run ends.
#include "encoder/input/audiosource.h"
#include "encoder/input/loudnessmeter.h"
#include "encoder/filesizesignal.h"
#include "encoder/lameencoderx.h"
#include "encoder/input/wavefamily.h"
#include "encoder/tags/sourcetags.h"
#include "version.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTextStream>

#include <unistd.h>

namespace {

using Member = LameEncoderX::Member;

enum Status { Done = 0, Failed = 1, WrongUsage = 2 };

const char usage[] = "usage: sonovert-encode INPUT OUTPUT [--Member=value ...] [--threads=N]\n"
                     "                       [--replaygain=on|off] [--source-tags=keep|ignore] [--cover=FILE]";

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(Status status, const QString &why)
{
    err() << "sonovert-encode: " << why << Qt::endl;
    if (status == WrongUsage)
        err() << usage << Qt::endl;
    return status;
}

// Every member that takes a value, from the component's member table.
// INPUT and OUTPUT are InputFile and OutputFile.
QString helpText()
{
    QString text;
    QTextStream out(&text);
    out << usage << "\n\n"
        << "Converts the " << kWaveName << " file INPUT into the MP3 file OUTPUT with the settings Sonovert's\n"
        << "window uses; members not given keep their defaults (in brackets).\n\n"
        << "Options:\n";
    for (const MemberField &field : LameEncoderX::members()) {
        if (field.kind == MemberKind::Method || field.member == Member::InputFile
            || field.member == Member::OutputFile)
            continue;
        const QVariant value = LameEncoderX::defaultValue(field.member);
        QString kind = QStringLiteral("TEXT");
        QString shown = value.toString();
        if (field.kind == MemberKind::Switch) {
            kind = QStringLiteral("True|False");
            shown = value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        } else if (field.kind != MemberKind::Text) {
            kind = QStringLiteral("N");
        }
        const QString option = QStringLiteral("--%1=%2").arg(QLatin1String(field.name), kind);
        out << "  " << option.leftJustified(28) << " [" << shown << "]\n";
    }
    out << "  " << QStringLiteral("--threads=N").leftJustified(28)
        << " encoder threads, 0 for one per core [0]\n"
        << "  " << QStringLiteral("--replaygain=on|off").leftJustified(28)
        << " measure the loudness for ReplayGain [on]\n"
        << "  " << QStringLiteral("--source-tags=keep|ignore").leftJustified(28)
        << " the input's own tags fill the tags not given [keep]\n"
        << "  " << QStringLiteral("--cover=FILE").leftJustified(28) << " a JPEG or PNG as the front cover\n"
        << "  " << QStringLiteral("--help").leftJustified(28) << " this text\n"
        << "  " << QStringLiteral("--version").leftJustified(28) << " the version\n\n"
        << "Exit status: 0 done, 1 the conversion failed, 2 wrong usage.\n";
    return text;
}

// One line on a terminal, redrawn in place: percent, seconds so far, speed against real time.
class ProgressLine
{
public:
    // Called once Encode has accepted the input, so it is a regular file that opens at once.
    void start(const LameEncoderX &encoder)
    {
        if (!::isatty(STDERR_FILENO))
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
        QString line = QStringLiteral("\r%1 %  %2 s").arg(percent, 4).arg(seconds, 0, 'f', 1);
        if (m_sampleRate > 0 && seconds > 0)
            line += QStringLiteral("  %1x").arg(frames / double(m_sampleRate) / seconds, 0, 'f', 1);
        // Clears what a longer earlier line left.
        err() << line << "\033[K" << Qt::flush;
    }

    void end()
    {
        if (m_shown)
            err() << Qt::endl;
        m_shown = false;
    }

private:
    bool m_shown = false;
    int m_sampleRate = 0;
    QElapsedTimer m_clock;
};

void warnOfClipping(const std::optional<TrackGain> &gain)
{
    const std::optional<double> safe = gain ? clipSafeGainDb(*gain) : std::nullopt;
    if (!safe)
        return;
    err() << "sonovert-encode: warning: the audio reaches full scale, so the MP3 will clip when decoded; "
          << QStringLiteral("a gain of %1 dB or lower avoids it").arg(*safe, 0, 'f', 2) << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    // Past a file-size limit a write then fails with "File too large" instead of the signal
    // ending the program.
    ignoreFileSizeSignal();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("--help"))) {
        QTextStream(stdout) << helpText();
        return Done;
    }
    if (args.contains(QLatin1String("--version"))) {
        QTextStream(stdout) << SONOVERT_NAME << Qt::endl;
        return Done;
    }

    QStringList files;
    QStringList options;
    for (const QString &arg : args)
        (arg.startsWith(QLatin1String("--")) ? options : files) << arg;
    if (files.size() != 2)
        return fail(WrongUsage, QStringLiteral("expected INPUT and OUTPUT"));

    LameEncoderX encoder;
    if (Outcome written = encoder.write(Member::InputFile, files[0]); !written)
        return fail(WrongUsage, written.message);
    if (Outcome written = encoder.write(Member::OutputFile, files[1]); !written)
        return fail(WrongUsage, written.message);
    for (const QString &arg : std::as_const(options)) {
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        if (equals < 0)
            return fail(WrongUsage, QStringLiteral("expected --Member=value, got %1").arg(arg));
        const QString name = arg.mid(2, equals - 2);
        if (name == QLatin1String("threads")) {
            bool number = false;
            const int threads = arg.mid(equals + 1).toInt(&number);
            if (!number || threads < 0)
                return fail(WrongUsage, QStringLiteral("--threads takes a whole number, 0 for every core"));
            encoder.setWorkers(threads);
            continue;
        }
        if (name == QLatin1String("replaygain")) {
            const QString value = arg.mid(equals + 1);
            if (value != QLatin1String("on") && value != QLatin1String("off"))
                return fail(WrongUsage, QStringLiteral("--replaygain takes on or off"));
            encoder.setReplayGain(value == QLatin1String("on"));
            continue;
        }
        if (name == QLatin1String("source-tags")) {
            const QString value = arg.mid(equals + 1);
            if (value != QLatin1String("keep") && value != QLatin1String("ignore"))
                return fail(WrongUsage, QStringLiteral("--source-tags takes keep or ignore"));
            encoder.setSourceTags(value == QLatin1String("keep"));
            continue;
        }
        if (name == QLatin1String("cover")) {
            // Checked here so a wrong file is a usage error, before any encoding.
            const QString path = arg.mid(equals + 1);
            QString why;
            if (path.isEmpty() || !readCover(path, &why))
                return fail(WrongUsage, path.isEmpty() ? QStringLiteral("--cover takes a JPEG or PNG file") : why);
            encoder.setCoverFile(path);
            continue;
        }
        const std::optional<Member> member = LameEncoderX::memberByName(name);
        if (!member)
            return fail(WrongUsage, QStringLiteral("no option --%1 (see --help)").arg(name));
        if (Outcome written = encoder.write(*member, arg.mid(equals + 1)); !written)
            return fail(WrongUsage, written.message);
    }

    ProgressLine progress;
    int status = Failed;
    QObject::connect(&encoder, &LameEncoderX::EncodeProgress, [&](int percent, qint64 frames) {
        progress.update(percent, frames);
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeWarning, [&](const QString &message) {
        progress.end();
        err() << "sonovert-encode: warning: " << message << Qt::endl;
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeFinished, [&] {
        progress.end();
        warnOfClipping(encoder.trackGain());
        status = Done;
        app.quit();
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeFailed, [&](const QString &message) {
        progress.end();
        fail(Failed, message);
        app.quit();
    });
    // Refused here: the input cannot be read, the output is the input, and the like.
    if (Outcome started = encoder.call(Member::Encode); !started)
        return fail(Failed, started.message);
    progress.start(encoder);
    app.exec();
    return status;
}
