#include "batchcommand.h"

#include "batchprogress.h"
#include "batchsummary.h"
#include "clippingwarning.h"
#include "console.h"
#include "outputnaming.h"
#include "stopsignals.h"

#include "encoder/batchrun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include <mutex>

namespace {

// --list and --list0: each file a run would convert and its MP3, by absolute paths, so that
// another machine or folder finds them.
ExitStatus listBatch(const BatchRequest &request)
{
    const bool nul = request.listing == BatchRequest::Listing::Nul;
    BatchQueue queue(request);
    QTextStream out(stdout);
    ExitStatus status = ExitStatus::Success;
    while (std::optional<BatchQueue::Item> item = queue.next()) {
        if (item->choice.kind != OutputChoice::Kind::Convert)
            continue;
        const QString input = QDir::cleanPath(QFileInfo(item->input.path).absoluteFilePath());
        const QString output = QDir::cleanPath(QFileInfo(item->choice.path).absoluteFilePath());
        if (nul) {
            out << input << QChar(0) << output << QChar(0);
        } else if ((input + output).contains(QRegularExpression(QStringLiteral("[\t\n]")))) {
            Console::err().line(QStringLiteral("sonovert-encode: %1: a name with a tab or a newline cannot be listed "
                                               "in lines; --list0 lists it")
                                    .arg(item->input.path));
            status = ExitStatus::Failed;
        } else {
            out << input << '\t' << output << '\n';
        }
    }
    return status;
}

// What a batch cannot start without: every input there, and an output folder that is there or
// can be made (it is made with the first MP3).
bool usable(const BatchRequest &request)
{
    for (const QString &input : request.inputs) {
        if (!QFileInfo::exists(input)) {
            Console::err().line(QStringLiteral("sonovert-encode: no input %1").arg(input));
            return false;
        }
    }
    if (request.outputDir.isEmpty())
        return true;
    QFileInfo nearest(QFileInfo(request.outputDir).absoluteFilePath());
    while (!nearest.exists())
        nearest.setFile(nearest.path());
    const bool there = nearest.absoluteFilePath() == QFileInfo(request.outputDir).absoluteFilePath();
    if (!nearest.isDir() || (!there && !nearest.isWritable())) {
        Console::err().line(QStringLiteral("sonovert-encode: cannot make the output folder ") + request.outputDir);
        return false;
    }
    return true;
}

// The batch's tally, kept from the run's threads as files are taken and end.
class BatchBook
{
public:
    explicit BatchBook(BatchRun &batch) : m_batch(batch) {}

    // The next file to convert in the list's order; what is skipped or refused on the way is
    // counted.
    std::optional<BatchFile> nextToConvert(BatchQueue &queue)
    {
        while (std::optional<BatchQueue::Item> item = queue.next()) {
            const std::lock_guard lock(m_mutex);
            switch (item->choice.kind) {
            case OutputChoice::Kind::Convert:
                return BatchFile {item->input.path, item->choice.path};
            case OutputChoice::Kind::Exists:
                ++m_tally.skipped;
                break;
            case OutputChoice::Kind::Taken:
                ++m_tally.skipped;
                Console::err().line(QStringLiteral("sonovert-encode: skipped %1: %2 is the MP3 of an earlier input "
                                                   "(--existing=rename keeps both)")
                                        .arg(item->input.path, item->choice.path));
                break;
            case OutputChoice::Kind::IsInput:
                m_tally.failed.emplace_back(item->input.path, QStringLiteral("Its MP3 would replace it."));
                break;
            }
            ++m_ended;
        }
        return std::nullopt;
    }

    void done(const BatchResult &result)
    {
        const std::lock_guard lock(m_mutex);
        if (result.outcome.kind == Outcome::Kind::Stopped)
            return;
        ++m_ended;
        QStringList warnings = result.warnings;
        if (result.outcome) {
            if (const QString clipping = clippingWarning(result.trackGain); !clipping.isEmpty())
                warnings << clipping;
        }
        for (const QString &warning : std::as_const(warnings))
            Console::err().line(QStringLiteral("sonovert-encode: warning: %1: %2").arg(result.file.input, warning));
        if (result.outcome) {
            ++m_tally.converted;
            m_tally.warned += warnings.isEmpty() ? 0 : 1;
            m_tally.seconds += result.seconds;
            return;
        }
        m_tally.failed.emplace_back(result.file.input, result.outcome.message);
        if (result.outcome.kind == Outcome::Kind::DiskFull && m_tally.stoppedStarting.isEmpty()) {
            m_tally.stoppedStarting = result.outcome.message;
            m_batch.stopStarting();
        }
    }

    // Files converted, skipped or failed so far.
    int ended()
    {
        const std::lock_guard lock(m_mutex);
        return m_ended;
    }

    // Once the run has ended.
    const Tally &tally() const { return m_tally; }

private:
    BatchRun &m_batch;
    std::mutex m_mutex; // guards the two below
    Tally m_tally;
    int m_ended = 0;
};

} // namespace

ExitStatus runBatchCommand(const BatchRequest &request)
{
    if (!usable(request))
        return ExitStatus::WrongUsage;
    if (request.listing != BatchRequest::Listing::None)
        return listBatch(request);

    catchStopSignals();
    QElapsedTimer elapsed;
    elapsed.start();
    BatchQueue queue(request);
    BatchRun batch(request.settings, request.jobs, stopRequested());
    BatchBook book(batch);
    BatchProgress progress(request, batch, elapsed, [&book] { return book.ended(); });

    batch.run([&] { return book.nextToConvert(queue); }, [&book](const BatchResult &result) { book.done(result); });

    progress.stop();
    const Tally &tally = book.tally();
    const int stopSignal = stopSignalCaught();
    printSummary(tally, elapsed.nsecsElapsed() / 1e9, stopSignal);
    if (stopSignal)
        return stoppedBy(stopSignal);
    return tally.failed.empty() && tally.stoppedStarting.isEmpty() ? ExitStatus::Success : ExitStatus::Failed;
}
