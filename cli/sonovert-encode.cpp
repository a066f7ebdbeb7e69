// sonovert-encode INPUT OUTPUT [options]: one file as the window converts it (filecommand.h).
// sonovert-encode INPUT... [-o DIR] [options]: many files at once (batchcommand.h).
// sonovert-encode --mirror SRC... -o DIR: an MP3 copy kept in step (mirrorcommand.h), with
// --watch as SRC changes (watchcommand.h).
#include "batchcommand.h"
#include "checkcommand.h"
#include "commandline.h"
#include "filecommand.h"
#include "helptext.h"
#include "jobroot.h"
#include "messages.h"
#include "mirrorcommand.h"
#include "playlists.h"
#include "watchcommand.h"

#include "encoder/filesizesignal.h"
#include "encoder/input/cuesheet.h"
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
    if (command.form == Form::InOut)
        return runFileCommand(command.encoder, command.files[0], command.files[1], command.threads);
    command.batch.inputs = command.files;
    command.batch.settings = command.encoder.settings();
    setCueCharset(command.batch.cueCharset);
    // A playlist spans folders: a job of a listed run, which makes one folder's MP3s, writes none.
    command.batch.playlists = command.batch.playlists && !isJobOutput(command.batch.outputDir);
    // A listing marks its output folder; a job of its list writes nowhere else.
    if (command.batch.listing != BatchRequest::Listing::None) {
        if (Outcome marked = markListedRoot(command.batch); !marked)
            return complain(ExitStatus::Failed, marked.message);
    } else if (Outcome taken = takeJobRoot(command.batch); !taken) {
        return complain(ExitStatus::Failed, taken.message);
    }
    if (command.batch.check)
        return runCheckCommand(command.batch);
    if (command.batch.watch)
        return runMirrorWatch(command.batch);
    return command.form == Form::Mirror ? runMirrorCommand(command.batch) : runBatchCommand(command.batch);
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
