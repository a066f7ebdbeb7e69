// sonovert-encode INPUT OUTPUT [options]: one file as the window converts it (filecommand.h).
// sonovert-encode INPUT... [-o DIR] [options]: many files at once (batchcommand.h).
#include "batchcommand.h"
#include "checkcommand.h"
#include "commandline.h"
#include "filecommand.h"
#include "jobroot.h"
#include "mirrorcommand.h"

#include "encoder/filesizesignal.h"
#include "encoder/libraryversions.h"
#include "version.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

ExitStatus run(const QStringList &args)
{
    switch (requestOf(args)) {
    case Request::Help:
        QTextStream(stdout) << helpText();
        return ExitStatus::Success;
    case Request::Version:
        QTextStream(stdout) << SONOVERT_NAME << "\n" << libraryVersions().join(QLatin1Char('\n')) << Qt::endl;
        return ExitStatus::Success;
    case Request::Convert:
        break;
    }
    Command command;
    if (Outcome parsed = parse(args, command); !parsed)
        return complain(ExitStatus::WrongUsage, parsed.message);
    if (singleFileForm(command))
        return runFileCommand(command.encoder, command.files[0], command.files[1], command.threads);
    if (command.threads)
        return complain(ExitStatus::WrongUsage, QStringLiteral("--threads is for INPUT OUTPUT; a batch takes --jobs"));
    if (command.files.isEmpty())
        return complain(ExitStatus::WrongUsage, QStringLiteral("no input"));
    command.batch.inputs = command.files;
    command.batch.settings = command.encoder.settings();
    if ((command.batch.dryRun || command.batch.trashMany) && !command.batch.mirror)
        return complain(ExitStatus::WrongUsage, QStringLiteral("--dry-run and --trash-many are for --mirror"));
    if (command.batch.check && (command.batch.listing != BatchRequest::Listing::None || command.batch.dryRun))
        return complain(ExitStatus::WrongUsage, QStringLiteral("--check goes with neither --list nor --dry-run"));
    // A listing marks its output folder; a job of its list writes nowhere else.
    if (command.batch.listing != BatchRequest::Listing::None) {
        if (Outcome marked = markListedRoot(command.batch); !marked)
            return complain(ExitStatus::Failed, marked.message);
    } else if (Outcome taken = takeJobRoot(command.batch); !taken) {
        return complain(ExitStatus::Failed, taken.message);
    }
    if (command.batch.check)
        return runCheckCommand(command.batch);
    return command.batch.mirror ? runMirrorCommand(command.batch) : runBatchCommand(command.batch);
}

} // namespace

int main(int argc, char *argv[])
{
    // Past a file-size limit a write then fails with "File too large" instead of the signal
    // ending the program.
    ignoreFileSizeSignal();
    QCoreApplication app(argc, argv);
    return static_cast<int>(run(app.arguments().mid(1)));
}
