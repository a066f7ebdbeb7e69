#include "mirrorsteps.h"

#include <iterator>

namespace {

const char *const kNames[] = {"convert", "encode again", "retag", "move", "trash", "delete",
                              "adopt", "album figures", "refresh", "stay"};
static_assert(std::size(kNames) == std::size_t(Step::Count));

} // namespace

QString stepName(Step step)
{
    return QString::fromLatin1(kNames[std::size_t(step)]);
}

QString stepNames(Steps steps)
{
    QStringList names;
    for (int step = 0; step < int(Step::Count); ++step) {
        if (steps.has(Step(step)))
            names << stepName(Step(step));
    }
    return names.isEmpty() ? QStringLiteral("keep") : names.join(QLatin1Char('+'));
}

Step StepCounts::countedAs(Step step)
{
    switch (step) {
    case Step::Adopt:
        return Step::Convert;
    case Step::AlbumRetag:
        return Step::Retag;
    default:
        return step;
    }
}

void StepCounts::count(Steps steps)
{
    // One retag, whether for its tags, its album's figures or both.
    if (steps.has(Step::Retag))
        steps.remove(Step::AlbumRetag);
    for (int step = 0; step < int(Step::Count); ++step) {
        const Step counted = countedAs(Step(step));
        if (steps.has(Step(step)) && int(counted) < kCountedSteps)
            count(Step(step));
    }
}
