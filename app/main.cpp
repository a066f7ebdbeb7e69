#include "common/appearance.h"
#include "encoder/filesizesignal.h"
#include "encoder/wavefamily.h"
#include "form1.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>

#include <cstdio>

namespace {

void describeProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral(SONOVERT_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral(SONOVERT_VERSION_TEXT));
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane Software"));
}

struct CommandLine
{
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();

    CommandLine()
    {
        parser.setApplicationDescription(
            QStringLiteral("Converts a %1 file into an MP3 file.").arg(QLatin1String(kWaveName)));
        parser.addPositionalArgument(QStringLiteral("file"),
                                     QStringLiteral("The %1 file to convert.").arg(QLatin1String(kWaveName)),
                                     QStringLiteral("[file]"));
    }
};

// --help and --version are answered before any window, so they need no display. True when
// one was.
bool answeredWithoutWindow(int argc, char *argv[])
{
    QCoreApplication probe(argc, argv);
    describeProgram();
    CommandLine line;
    // Options of Qt's own (-platform, -style) are left to the window's pass.
    (void)line.parser.parse(probe.arguments());
    if (line.parser.isSet(line.help))
        std::fputs(qPrintable(line.parser.helpText()), stdout);
    else if (line.parser.isSet(line.version))
        std::fputs(SONOVERT_NAME "\n", stdout);
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // Past a file-size limit a write then fails with an error the run reports, instead of
    // the signal ending the program.
    ignoreFileSizeSignal();
    if (answeredWithoutWindow(argc, argv))
        return 0;

    QApplication app(argc, argv);
    describeProgram();
    CommandLine line;
    if (!line.parser.parse(app.arguments())) {
        std::fprintf(stderr, "sonovert: %s\n", qPrintable(line.parser.errorText()));
        return 2;
    }
    const QStringList files = line.parser.positionalArguments();
    if (files.size() > 1)
        std::fprintf(stderr, "sonovert: converts one file at a time; taking %s\n", qPrintable(files.constFirst()));

    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("sonovert"));
    setUpAppearance();
    Form1 form;
    form.show();
    if (!files.isEmpty())
        QTimer::singleShot(0, &form, [&form, file = QDir::current().absoluteFilePath(files.constFirst())] {
            form.openInput(file);
        });
    return app.exec();
}
