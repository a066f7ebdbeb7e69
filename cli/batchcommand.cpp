#include "batchcommand.h"

#include "encoder/batch/inputlist.h"
#include "encoder/batch/splitplanner.h"
#include "encoder/batchrun.h"
#include "encoder/input/loudnessmeter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

std::atomic_bool stopRequested = false;
volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int number)
{
    stopSignal = number;
    stopRequested.store(true);
}


QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString clock(double seconds)
{
    const qint64 whole = qint64(seconds + 0.5);
    const QString minutes = QStringLiteral("%1:%2").arg(whole / 60 % 60, whole >= 3600 ? 2 : 1, 10, QLatin1Char('0'))
                                .arg(whole % 60, 2, 10, QLatin1Char('0'));
    return whole >= 3600 ? QStringLiteral("%1:%2").arg(whole / 3600).arg(minutes) : minutes;
}

// Where an input's MP3 would go before existing files are looked at.
QString wantedOutput(const BatchRequest &request, const BatchInput &input)
{
    const QString name = input.below + QStringLiteral(".mp3");
    if (!request.outputDir.isEmpty())
        return request.outputDir + QLatin1Char('/') + QFileInfo(name).filePath();
    return QFileInfo(input.path).dir().filePath(QFileInfo(input.path).completeBaseName() + QStringLiteral(".mp3"));
}

// The batch's inputs in order, each with its output decided.
class Queue
{
public:
    explicit Queue(const BatchRequest &request)
        : m_request(request), m_inputs(request.inputs), m_claims(request.existing)
    {
    }

    struct Item
    {
        BatchInput input;
        OutputChoice choice;
    };
    std::optional<Item> next()
    {
        std::optional<BatchInput> input = m_inputs.next();
        if (!input)
            return std::nullopt;
        OutputChoice choice = m_claims.claim(input->path, wantedOutput(m_request, *input));
        return Item {std::move(*input), std::move(choice)};
    }

private:
    const BatchRequest &m_request;
    InputList m_inputs;
    OutputClaims m_claims;
};

// The whole batch's size, found beside the conversions for the progress line.
struct Totals
{
    std::atomic<int> files = 0;
    std::atomic<double> seconds = 0;
    std::atomic_bool complete = false;
};

void countInputs(const BatchRequest &request, const BatchRun &batch, Totals &totals, const std::stop_token &stop)
{
    InputList inputs(request.inputs);
    while (!stop.stop_requested() && !stopRequested.load()) {
        const std::optional<BatchInput> input = inputs.next();
        if (!input) {
            totals.complete = true;
            return;
        }
        totals.seconds.fetch_add(batch.audioSeconds(input->path));
        ++totals.files;
    }
}

struct Tally
{
    int converted = 0;
    int skipped = 0;
    std::vector<std::pair<QString, QString>> failed; // input, reason
    double seconds = 0;
    QString stoppedStarting;
};

} // namespace

void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int stopSignalCaught()
{
    return stopRequested.load() ? static_cast<int>(stopSignal) : 0;
}

QString clippingWarning(const std::optional<TrackGain> &gain)
{
    const std::optional<double> safe = gain ? clipSafeGainDb(*gain) : std::nullopt;
    if (!safe)
        return {};
    return QStringLiteral("the audio reaches full scale, so the MP3 will clip when decoded; "
                          "a gain of %1 dB or lower avoids it")
        .arg(*safe, 0, 'f', 2);
}

int runBatchCommand(const BatchRequest &request)
{
    if (!request.outputDir.isEmpty() && !QDir().mkpath(request.outputDir)) {
        err() << "sonovert-encode: cannot make the output folder " << request.outputDir << Qt::endl;
        return 2;
    }
    Queue queue(request);
    if (request.list) {
        QTextStream out(stdout);
        while (std::optional<Queue::Item> item = queue.next()) {
            if (item->choice.kind == OutputChoice::Kind::Convert)
                out << item->input.path << '\t' << item->choice.path << '\n';
        }
        return 0;
    }

    catchStopSignals();
    // On a terminal only: one line redrawn in place.
    const bool terminal = ::isatty(STDERR_FILENO);
    QElapsedTimer elapsed;
    elapsed.start();
    Tally tally;
    int ended = 0; // files converted, skipped or failed
    std::mutex tallyMutex;
    BatchRun batch(request.settings, request.jobs, stopRequested);

    // The files to convert in the list's order; the planner reads ahead of the run.
    SplitPlanner::Pull convertible = [&]() -> std::optional<BatchFile> {
        while (std::optional<Queue::Item> item = queue.next()) {
            const std::lock_guard lock(tallyMutex);
            switch (item->choice.kind) {
            case OutputChoice::Kind::Convert:
                return BatchFile {item->input.path, item->choice.path, true};
            case OutputChoice::Kind::Exists:
                ++tally.skipped;
                break;
            case OutputChoice::Kind::Taken:
                ++tally.skipped;
                err() << (terminal ? "\r\033[K" : "") << "sonovert-encode: skipped " << item->input.path << ": "
                      << item->choice.path << " is the MP3 of an earlier input (--existing=rename keeps both)"
                      << Qt::endl;
                break;
            case OutputChoice::Kind::IsInput:
                tally.failed.emplace_back(item->input.path, QStringLiteral("Its MP3 would replace it."));
                break;
            }
            ++ended;
        }
        return std::nullopt;
    };
    SplitPlanner planner(std::move(convertible),
                         [&batch](const BatchFile &file) { return batch.audioSeconds(file.input); });
    const BatchRun::Next next = [&planner] { return planner.next(); };
    const BatchRun::Done done = [&](const BatchResult &result) {
        const std::lock_guard lock(tallyMutex);
        if (result.outcome.kind == Outcome::Kind::Stopped)
            return;
        ++ended;
        QStringList warnings = result.warnings;
        if (result.outcome) {
            if (const QString clipping = clippingWarning(result.trackGain); !clipping.isEmpty())
                warnings << clipping;
        }
        for (const QString &warning : std::as_const(warnings))
            err() << (terminal ? "\r\033[K" : "") << "sonovert-encode: warning: " << result.file.input << ": "
                  << warning << Qt::endl;
        if (result.outcome) {
            ++tally.converted;
            tally.seconds += result.seconds;
            return;
        }
        tally.failed.emplace_back(result.file.input, result.outcome.message);
        if (result.outcome.kind == Outcome::Kind::DiskFull && tally.stoppedStarting.isEmpty()) {
            tally.stoppedStarting = result.outcome.message;
            batch.stopStarting();
        }
    };

    Totals totals;
    std::jthread counter;
    std::jthread progress;
    std::mutex progressMutex;
    std::condition_variable_any progressWake;
    if (terminal) {
        counter = std::jthread([&](std::stop_token stop) { countInputs(request, batch, totals, stop); });
        progress = std::jthread([&](std::stop_token stop) {
            std::unique_lock lock(progressMutex);
            for (;;) {
                progressWake.wait_for(lock, stop, std::chrono::milliseconds(250), [] { return false; });
                if (stop.stop_requested())
                    break;
                const double seconds = elapsed.nsecsElapsed() / 1e9;
                const double audio = batch.secondsDone();
                int files = 0;
                {
                    const std::lock_guard tallyLock(tallyMutex);
                    files = ended;
                }
                QString line = QStringLiteral("\r%1/%2 files").arg(files).arg(
                    totals.complete ? QString::number(totals.files.load()) : QStringLiteral("%1+").arg(totals.files.load()));
                if (totals.complete && totals.seconds.load() > 0) {
                    const double share = std::min(1.0, audio / totals.seconds.load());
                    line += QStringLiteral("  %1 %").arg(int(share * 100), 3);
                    line += QStringLiteral("  %1 elapsed").arg(clock(seconds));
                    if (share > 0.01)
                        line += QStringLiteral("  %1 left").arg(clock(seconds / share - seconds));
                } else {
                    line += QStringLiteral("  %1 elapsed").arg(clock(seconds));
                }
                err() << line << "\033[K" << Qt::flush;
            }
        });
    }

    batch.run(next, done);

    if (terminal) {
        progress.request_stop();
        progress.join();
        counter.request_stop();
        err() << "\r\033[K" << Qt::flush;
    }
    const double seconds = elapsed.nsecsElapsed() / 1e9;
    err() << "converted " << tally.converted << ", skipped " << tally.skipped << ", failed " << tally.failed.size()
          << Qt::endl;
    for (const auto &[input, reason] : tally.failed)
        err() << "failed: " << input << ": " << reason << Qt::endl;
    if (!tally.stoppedStarting.isEmpty())
        err() << "stopped starting new files: " << tally.stoppedStarting << Qt::endl;
    err() << "audio " << clock(tally.seconds) << " in " << clock(seconds) << ", "
          << QString::number(seconds > 0 ? tally.seconds / seconds : 0, 'f', 1) << "x real time" << Qt::endl;
    if (stopRequested.load()) {
        const int number = stopSignal;
        err() << "stopped by " << (number == SIGTERM ? "SIGTERM" : "SIGINT")
              << "; finished MP3s are kept, the next run converts the rest" << Qt::endl;
        return 128 + number;
    }
    return tally.failed.empty() && tally.stoppedStarting.isEmpty() ? 0 : 1;
}
