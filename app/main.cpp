#include "common/appearance.h"
#include "encoder/filesizesignal.h"
#include "form1.h"
#include "startup.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace {

void describeProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral(SONOVERT_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral(SONOVERT_VERSION_TEXT));
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane Software"));
}

} // namespace

int main(int argc, char *argv[])
{
    // Past a file-size limit a write then fails with an error the run reports, instead of
    // the signal ending the program.
    ignoreFileSizeSignal();
    describeProgram();
    if (const std::optional<int> answered = answerWithoutWindow(argc, argv))
        return *answered;

    std::optional<DisplayConnection> connection(std::in_place, desktopFromEnvironment(argc, argv));
    QApplication app(argc, argv);
    connection.reset();
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    describeCommandLine(parser);
    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "sonovert: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    const QStringList files = parser.positionalArguments();
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
