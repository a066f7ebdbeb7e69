#pragma once

#include "encoder/core/encodersettings.h"
#include "encoder/core/framerange.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// What an MP3 is made of, each as a digest, so a copy of a library can tell what changed: the audio
// as the input stores it, the tags the MP3 gets, and the settings that shape its bytes. None
// depends on a path, a time or the machine.

// SHA-256 of the audio and the range taken of it: a RIFF family WAVE's data chunk as stored, a
// FLAC's or AIFF's decoded samples (a samples digest, one byte longer), so that a tag edit is
// not new audio; empty where the file cannot be read.
QByteArray audioDigest(const QString &path, const FrameRange &range = {});
bool isSamplesDigest(const QByteArray &digest);
// The digest earlier releases kept of a FLAC or an AIFF: its bytes as stored, the file whole.
QByteArray storedAudioDigest(const QString &path, const FrameRange &range = {});
// SHA-256 of the ID3v2 and ID3v1 tags a run with these settings (inputFile, cueSheet and cueTrack
// set) writes, without loudness figures; empty where they cannot be made.
QByteArray tagsDigest(const EncoderSettings &settings);
// SHA-256 of every setting that changes an MP3's bytes other than its tags, with lame's version.
QByteArray settingsDigest(const EncoderSettings &settings);

// What a source's tags are made of other than the source itself, as a digest, each file by its
// name, size and time so that nothing is read: the typed texts and tag options, the cover file,
// the folder's cover files, a CUE sheet, and what else the caller's MP3s depend on (extra).
// Where it and the source's size and time are as they were, so are the tags. Unlike the digests
// above it holds times: it tells whether to look, never what an MP3 is.
class TagInputs
{
public:
    TagInputs(const EncoderSettings &command, const QByteArray &extra);
    // Of a source: settings with its inputFile and cueSheet set. Empty where a file it holds by
    // its time (a cover, a sheet) changed too recently for the time to tell (SourcesClock).
    QByteArray digest(const EncoderSettings &settings);

private:
    QByteArray m_command;
    bool m_settled = true; // the cover file given
    QHash<QString, QByteArray> m_folders; // by folder: with its cover files
    QHash<QString, QByteArray> m_sheetFiles; // by CUE sheet and its stamp: its files' names and stamps
    QString m_lastFolder;
    QByteArray m_lastDigest;
};
