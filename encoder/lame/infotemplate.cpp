#include "infotemplate.h"

#include "lamefeed.h"
#include "encoder/mp3/frames.h"
#include "encoder/mp3/infoframe.h"

namespace {

// lame's info frame of an instance with these settings, after one frame of silence.
std::vector<unsigned char> infoFrameAfterSilence(lame_t lame, int channels)
{
    const int samples = lame_get_framesize(lame);
    std::vector<short> silence(static_cast<std::size_t>(samples * channels));
    std::vector<unsigned char> mp3(mp3BufferSize(samples, 8000) + 8192);
    if (encodeBlock(lame, silence.data(), samples, channels, mp3.data(), static_cast<int>(mp3.size())) < 0
        || lame_encode_flush(lame, mp3.data(), static_cast<int>(mp3.size())) < 0)
        return {};
    std::vector<unsigned char> frame(lame_get_lametag_frame(lame, nullptr, 0));
    if (frame.empty() || lame_get_lametag_frame(lame, frame.data(), frame.size()) != frame.size())
        return {};
    return frame;
}

} // namespace

std::optional<InfoFrameTemplate> infoFrameTemplate(const EncoderSettings &settings, const InputInfo &input,
                                                   const KeptRate *kept, LamePtr lame)
{
    if (!lame) {
        Result<LamePtr> opened = openLame(settings, input, true, kept);
        if (!opened)
            return std::nullopt;
        lame = std::move(*opened);
    }
    std::vector<unsigned char> frame = infoFrameAfterSilence(lame.get(), input.channels);
    if (!frame.empty())
        return InfoFrameTemplate {.frame = std::move(frame), .lameWritesIt = true};
    if (lame_get_VBR(lame.get()) != vbr_off)
        return std::nullopt;

    // lame leaves the tag out when its constant-rate frame is too small: its fields come from
    // the same settings at the smallest rate that holds the tag, with the output rate, low-pass
    // and channel mode pinned to the real encoder's so the tag describes it.
    const int outRate = lame_get_out_samplerate(lame.get());
    const int version = mpegVersionFor(outRate);
    const int sideInfoEnd = 4 + sideInfoBytes(version, lame_get_mode(lame.get()) == MONO);
    const std::optional<int> bitrate = smallestBitrateFor(version, outRate, sideInfoEnd + kInfoTagBytes);
    if (!bitrate)
        return std::nullopt;
    const PinnedRate pin {
        .bitrate = *bitrate,
        .outRate = outRate,
        .lowpass = lame_get_lowpassfreq(lame.get()),
        .mode = lame_get_mode(lame.get()),
        .quality = lame_get_quality(lame.get()),
    };
    const Result<LamePtr> pinned = openLame(settings, input, true, kept, &pin);
    if (!pinned)
        return std::nullopt;
    frame = infoFrameAfterSilence(pinned->get(), input.channels);
    if (frame.empty())
        return std::nullopt;
    std::optional<std::vector<unsigned char>> own = infoFrameAtRate(frame, lame_get_brate(lame.get()));
    if (!own)
        return std::nullopt;
    return InfoFrameTemplate {.frame = std::move(*own), .lameWritesIt = false};
}

Outcome finishedInfoFrame(lame_t lame, std::vector<unsigned char> &frame)
{
    frame.resize(lame_get_lametag_frame(lame, nullptr, 0));
    if (!frame.empty() && lame_get_lametag_frame(lame, frame.data(), frame.size()) != frame.size())
        return lameFailure(QStringLiteral("The MP3 encoder gave no info frame"));
    return Outcome::success();
}
