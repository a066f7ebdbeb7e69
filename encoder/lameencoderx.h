#pragma once

#include "encoder/core/encodersettings.h"
#include "encoder/core/members.h"
#include "encoder/core/outcome.h"
#include "encoder/core/trackgain.h"

#include <QObject>
#include <QVariant>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

// The MP3 encoder component. The window holds no encoder setting of its own: it writes each
// setting here as the person makes it, reads values back for display, and starts a run with
// the values held. Members are addressed by number.
//
// Values: paths, rates and tags are text; switches are true/false. Rates read back as whole
// numbers (bit rate 128 and VBR rate 4 until written).
//
// What each option does to the MP3 (through libmp3lame, which picks the output sample rate):
// Member 5, Bitrate: constant bit rate in kbit/s, held as the nearest MPEG bit rate from 8 to
//   320 (ties to the lower). Where the output's MPEG version cannot carry it (above 160 kbit/s
//   at 16-24 kHz, above 64 at 8-12 kHz) the nearest rate it can carry is used. Ignored while
//   UseVBR or VoiceMode is on.
// Member 7, VoiceMode: lame's "voice" preset made narrow band: mono, 56 kbit/s average bit rate,
//   low-pass at 7.5 kHz and so 22.05 kHz output (less for a lower input). Overrides Bitrate,
//   UseVBR and VBRRate.
// Members 8 and 9, UseVBR and VBRRate: lame's default variable bit rate at quality VBRRate,
//   0 best to 9 smallest (7 to 9 also lower the sample rate); the info tag then holds the frame
//   count and the seek table.
// Member 13, FixQuality: lame quality 2 (the command line's -h); wins over FastMode.
// Member 14, FastMode: lame quality 7 (-f). Neither: lame's default, 3. With VBR lame has only
//   a fast and a best level, so there FixQuality gives the same MP3 as neither.
// Member 19, RawPCM: the input is headerless 16-bit stereo PCM at 44.1 kHz, little-endian.
// Member 20, ForceByteSwap: with RawPCM, the samples are big-endian. A WAVE file states its
//   own byte order, so for WAVE input it has no effect.
// Member 21, Mono: one channel, the average of the input's two.
// Members 23 and 24, Copyrighted and Original: the copyright and original bits of every frame
//   header, set exactly as written (both false until written).
// The tag texts (TagTitle, TagArtist, TagAlbum, TagYear, TagGenre; core/tagfields.cpp gives
//   each its ID3 frame and field): an ID3v2.3 tag with each text that is not empty, exactly
//   as written (year and genre are free text), in Latin-1 or UTF-16; and an ID3v1 tag with
//   each text that fits Latin-1, cut to its field (a year to its four digits, a genre by its
//   name in the ID3v1 list), the others left empty. Written in every mode. A text left empty
//   takes the input WAVE's own (its id3 chunk's, else its INFO chunk's, else its bext chunk's),
//   which also gives track and disc number, album artist, composer, comment, encoded-by and
//   the pictures; see setSourceTags(), setCoverFile() and setFolderCover().
// Member 12, SkipTags: true leaves every ID3 tag out of the MP3; false (the default) writes the
//   tags held. The tag editor writes false each time it opens.
// Member 22, WriteInfoTag: true (the default) writes the LAME info tag over the MP3's first
//   frame, so players show the right duration and play without gaps; false leaves a bare
//   stream. The window writes true at every return to idle. At the lowest constant bit rates
//   (below 64 kbit/s, depending on the sample rate) lame's frame is too small to hold the tag;
//   the tag then gets a frame of the smallest bit rate that holds it, ahead of the audio.
// Member 35, Abort: stops a run in progress and returns when its worker has ended; the
//   temporary file is removed and an existing output file is left untouched. No run, no effect.
class LameEncoderX : public QObject
{
    Q_OBJECT

public:
    // Numbered and named in core/members.h; the tag texts in core/tagfields.cpp.
    using Member = EncoderMember;

    explicit LameEncoderX(QObject *parent = nullptr);
    ~LameEncoderX() override; // aborts and joins a run in progress

    // Writes a property member. Refused (with the reason) for a method member, a value of the
    // wrong kind (a rate that is not a number or out of range), or while a run is in progress.
    Outcome write(Member member, const QVariant &value);
    // Reads a property member: text for paths and tags, bool for switches, int for rates.
    // An invalid QVariant for a method member.
    QVariant read(Member member) const;
    // Calls a method member. Encode starts a run and returns at once; it is refused when a run
    // is in progress, the input cannot be read, no output is named, or the output is the input
    // (also through a link). The run then ends with EncodeFinished or EncodeFailed.
    Outcome call(Member member);

    // Threads that encode one file together, from the next Encode on; 0 (the default) uses
    // every core. Short inputs and resampling settings always use one.
    void setWorkers(int n) { m_settings.workers = n > 0 ? n : 0; }
    // Whether a run measures the audio's loudness for ReplayGain (on by default), from the next
    // Encode on. The figures go into the ID3v2 tag and, where written, the LAME info tag.
    void setReplayGain(bool on) { m_settings.replayGain = on; }
    // The figures of the last run that finished well; nothing where it measured none (off, or
    // no audio loud enough to measure) or none finished yet.
    std::optional<TrackGain> trackGain() const { return m_trackGain; }
    // Whether the input's own tags fill the texts not written (true by default), from the next
    // Encode on. Raw PCM input has none.
    void setSourceTags(bool keep) { m_settings.sourceTags = keep; }
    // A JPEG or PNG file for the MP3's front cover, in place of the input's; empty for none.
    // A run whose cover cannot be read or is neither fails.
    void setCoverFile(const QString &path) { m_settings.coverFile = path; }
    // Whether an input without a picture of its own takes the cover.jpg, folder.jpg or
    // front.jpg (or .png) of its folder as its front cover (true by default), from the next
    // Encode on. Only where its own tags are read; a cover file wins.
    void setFolderCover(bool on) { m_settings.folderCover = on; }
    // Whether the input may also be a FLAC or AIFF file (false by default: the window takes
    // WAVE alone, and refuses any other input as it always has), from the next Encode on.
    void setFlacAndAiff(bool on) { m_flacAndAiff = on; }
    // What a device's player takes (ID3 versions, cover size, top sample rate, gain applied),
    // from the next Encode on; the window keeps the defaults.
    void setDevice(const DeviceSettings &device) { m_settings.device = device; }

    bool isEncoding() const { return m_worker.joinable(); }
    const EncoderSettings &settings() const { return m_settings; }

    // "Bitrate" -> Member::Bitrate, for scripted use.
    static std::optional<Member> memberByName(QStringView name);
    static QString memberName(Member member);
    // Every member, by number, with its kind; a member's value before any write.
    static const std::vector<MemberField> &members() { return memberFields(); }
    static QVariant defaultValue(Member member);

signals:
    // Raised on the component's thread 101 times in a successful run, percent 0 to 100 of the
    // input read, in order; the last only when the MP3 is complete under its own name. A failed
    // or aborted run raises fewer and no more after its end. frames: input frames read so far.
    void EncodeProgress(int percent, qint64 frames);
    // The run ended well: raised right after the last EncodeProgress.
    void EncodeFinished();
    // The run failed after Encode had accepted it: no output was written and nothing of the
    // run is left on disk. Not raised for an aborted run.
    void EncodeFailed(const QString &message);
    // Part of the input was left out of the MP3 (a damaged or oversized tag chunk or picture);
    // raised during a run, before its end, once for each part.
    void EncodeWarning(const QString &message);

private:
    void startRun();
    void abortRun();
    void joinWorker();
    // Queues event for this object's thread, where it runs only if run is still the current one.
    template <typename Event>
    void post(quint64 run, Event event);

    EncoderSettings m_settings;
    std::thread m_worker;
    std::shared_ptr<std::atomic_bool> m_abort;
    quint64 m_run = 0; // events of an older run are dropped
    bool m_flacAndAiff = false;
    std::optional<TrackGain> m_trackGain;
};
