#include "mp3file.h"

#include "encoder/mp3/infoframe.h"

Outcome writeMp3File(Mp3Output &output, const Mp3Layout &layout, const std::function<Outcome()> &writeAudio,
                     const std::function<Outcome(std::vector<unsigned char> &frame)> &infoFrame,
                     const std::atomic_bool &abort)
{
    // The figures are known only after the audio, and the tag goes ahead of it: room is held,
    // in a tag of their own where there is no text, since players read them there rather than
    // in the info frame. Without tags (SkipTags) there is no room.
    const bool gainRoom = layout.trackGain && !layout.tags.id3v2WithRoom().isEmpty();
    const QByteArray &id3v2 = gainRoom ? layout.tags.id3v2WithRoom() : layout.tags.id3v2();
    if (Outcome written = output.write(id3v2); !written)
        return written;
    if (layout.infoFrameBytes > 0) {
        const std::vector<unsigned char> placeholder(layout.infoFrameBytes);
        if (Outcome written = output.write(placeholder.data(), placeholder.size()); !written)
            return written;
    }
    if (Outcome written = writeAudio(); !written)
        return written;
    if (Outcome written = output.write(layout.tags.id3v1()); !written)
        return written;

    std::vector<unsigned char> frame;
    if (Outcome made = infoFrame(frame); !made)
        return made;
    // A frame of another size than the placeholder would cut into the audio.
    if (layout.infoFrameBytes > 0 && frame.size() != layout.infoFrameBytes)
        return Outcome::failure(QStringLiteral("The info frame could not be made."));
    if (!frame.empty()) {
        if (layout.sourceRate > 0)
            recordSourceRate(frame, layout.sourceRate);
        if (Outcome written = output.writeAt(id3v2.size(), frame.data(), frame.size()); !written)
            return written;
    }
    if (gainRoom) {
        const QByteArray tag = layout.tags.id3v2Final(layout.trackGain());
        if (tag.size() != id3v2.size())
            return Outcome::failure(QStringLiteral("The ID3 tag could not be finished."));
        if (Outcome written = output.writeAt(0, reinterpret_cast<const unsigned char *>(tag.constData()),
                                             static_cast<std::size_t>(tag.size()));
            !written)
            return written;
    }

    if (abort.load())
        return Outcome::stopped();
    return output.commit();
}
