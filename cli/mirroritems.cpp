// What the run takes of the plan's items: their settings and each album's inputs.
#include "mirroritems.h"

#include <QCryptographicHash>

const QByteArray &copiedAsItIs()
{
    static const QByteArray digest = QCryptographicHash::hash("copied as it is", QCryptographicHash::Sha256);
    return digest;
}

std::vector<std::vector<BatchInput>> albumInputsOf(const MirrorPlan &plan)
{
    std::vector<std::vector<BatchInput>> inputs(plan.albumTracks.size());
    for (const MirrorItem &item : plan.items) {
        if (item.place.album >= 0)
            inputs[std::size_t(item.place.album)].push_back(item.input);
    }
    return inputs;
}

EncoderSettings itemSettings(const MirrorPlan &plan, const MirrorItem &item)
{
    EncoderSettings settings = plan.settings;
    settings.inputFile = item.input.path;
    settings.range = item.input.range;
    settings.cueSheet = item.input.sheet;
    settings.cueTrack = item.input.track;
    settings.albumRoom = plan.withAlbums && item.place.album >= 0 && !item.input.copy;
    return settings;
}
