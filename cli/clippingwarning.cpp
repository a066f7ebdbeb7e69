#include "clippingwarning.h"

#include "encoder/input/loudnessmeter.h"

QString clippingWarning(const std::optional<TrackGain> &gain)
{
    const std::optional<double> safe = gain ? clipSafeGainDb(*gain) : std::nullopt;
    if (!safe)
        return {};
    return QStringLiteral("the audio reaches full scale, so the MP3 will clip when decoded; "
                          "a gain of %1 dB or lower avoids it")
        .arg(*safe, 0, 'f', 2);
}
