#include "appliedgain.h"

#include "encoder/encoderun.h"
#include "encoder/input/loudnessmeter.h"

#include <memory>

EncoderSettings withTrackGainApplied(const EncoderSettings &settings, const std::atomic_bool &abort)
{
    if (settings.device.applyGain == DeviceSettings::Gain::Off || settings.device.appliedDb)
        return settings;
    EncoderSettings gained = settings;
    gained.device.appliedDb = appliedGainOf({settings}, abort);
    return gained;
}

double appliedGainOf(const std::vector<EncoderSettings> &tracks, const std::atomic_bool &abort)
{
    std::vector<std::unique_ptr<LoudnessMeter>> meters;
    for (EncoderSettings track : tracks) {
        track.replayGain = true;
        track.device.appliedDb.reset();
        for (std::unique_ptr<LoudnessMeter> &meter : measureLoudness(track, abort))
            meters.push_back(std::move(meter));
    }
    std::vector<const LoudnessMeter *> measured;
    for (const std::unique_ptr<LoudnessMeter> &meter : meters)
        measured.push_back(meter.get());
    const std::optional<TrackGain> figures = measured.empty() ? std::nullopt : LoudnessMeter::figures(measured);
    return figures ? appliedGainDb(*figures) : 0.0;
}
