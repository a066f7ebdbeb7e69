#include "batchvoice.h"

#include "clippingwarning.h"
#include "messages.h"

#include <sys/resource.h>

qsizetype BatchVoice::warn(const BatchResult &result)
{
    QStringList warnings = result.warnings;
    if (result.outcome) {
        if (const QString clipping = clippingWarning(result.trackGain); !clipping.isEmpty())
            warnings << clipping;
    }
    for (const QString &warning : std::as_const(warnings))
        ::warn(QStringLiteral("%1: %2").arg(result.file.input, warning));
    return warnings.size();
}

bool BatchVoice::stopOnFullDisk(const BatchResult &result)
{
    if (result.outcome || result.outcome.kind != Outcome::Kind::DiskFull || m_stopped)
        return false;
    m_stopped = true;
    m_batch.stopStarting();
    return true;
}

void allowOpenFiles()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}
