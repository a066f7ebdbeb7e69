#pragma once

#include "encodersettings.h"
#include "outcome.h"

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
// Member 12, SkipTags: true leaves every ID3 tag out of the MP3; false (the default) writes the
//   tags held. The tag editor writes false each time it opens.
// Member 22, WriteInfoTag: true (the default) writes the LAME info tag over the MP3's first
//   frame, so players show the right duration and play without gaps; false leaves a bare
//   stream. The window writes true at every return to idle.
// Member 35, Abort: stops a run in progress and returns when its worker has ended; the
//   temporary file is removed and an existing output file is left untouched. No run, no effect.
class LameEncoderX : public QObject
{
    Q_OBJECT

public:
    enum class Member : int {
        InputFile = 1,
        OutputFile = 2,
        Bitrate = 5,
        VoiceMode = 7,
        UseVBR = 8,
        VBRRate = 9,
        SkipTags = 12,
        FixQuality = 13,
        FastMode = 14,
        RawPCM = 19,
        ForceByteSwap = 20,
        Mono = 21,
        WriteInfoTag = 22,
        Copyrighted = 23,
        Original = 24,
        TagTitle = 25,
        TagArtist = 26,
        TagAlbum = 27,
        TagYear = 28,
        TagGenre = 30,
        Encode = 33,
        Abort = 35,
    };

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

    bool isEncoding() const { return m_worker.joinable(); }
    const EncoderSettings &settings() const { return m_settings; }

    // "Bitrate" -> Member::Bitrate, for scripted use.
    static std::optional<Member> memberByName(QStringView name);
    static QString memberName(Member member);

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
};
