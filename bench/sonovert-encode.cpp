// sonovert-encode INPUT OUTPUT [--Member=value ...] [--threads=N]
// Converts as the window does: every member written by number, then Encode, then the event
// loop until the run ends. --threads sets the encoder threads (0: every core).
#include "encoder/filesizesignal.h"
#include "encoder/lameencoderx.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

namespace {

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int refuse(const QString &why)
{
    err() << "sonovert-encode: " << why << Qt::endl;
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    ignoreFileSizeSignal();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || args[0].startsWith(QLatin1String("--")) || args[1].startsWith(QLatin1String("--")))
        return refuse(QStringLiteral("usage: sonovert-encode INPUT OUTPUT [--Member=value ...] [--threads=N]"));

    using Member = LameEncoderX::Member;
    LameEncoderX encoder;
    if (Outcome written = encoder.write(Member::InputFile, args[0]); !written)
        return refuse(written.message);
    if (Outcome written = encoder.write(Member::OutputFile, args[1]); !written)
        return refuse(written.message);
    for (const QString &arg : args.mid(2)) {
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        if (!arg.startsWith(QLatin1String("--")) || equals < 0)
            return refuse(QStringLiteral("expected --Member=value, got %1").arg(arg));
        const QString name = arg.mid(2, equals - 2);
        if (name == QLatin1String("threads")) {
            bool number = false;
            const int threads = arg.mid(equals + 1).toInt(&number);
            if (!number || threads < 0)
                return refuse(QStringLiteral("--threads takes a whole number, 0 for every core"));
            encoder.setWorkers(threads);
            continue;
        }
        const std::optional<Member> member = LameEncoderX::memberByName(name);
        if (!member)
            return refuse(QStringLiteral("no member named %1").arg(name));
        if (Outcome written = encoder.write(*member, arg.mid(equals + 1)); !written)
            return refuse(written.message);
    }

    int progressEvents = 0;
    int status = 1;
    QObject::connect(&encoder, &LameEncoderX::EncodeProgress, [&](int, qint64) { ++progressEvents; });
    QObject::connect(&encoder, &LameEncoderX::EncodeFinished, [&] {
        status = 0;
        app.quit();
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeFailed, [&](const QString &message) {
        err() << "sonovert-encode: " << message << Qt::endl;
        app.quit();
    });
    if (Outcome started = encoder.call(Member::Encode); !started)
        return refuse(started.message);
    app.exec();
    QTextStream(stdout) << "progress events: " << progressEvents << Qt::endl;
    return status;
}
