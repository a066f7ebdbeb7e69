#pragma once

#include "batchinput.h"
#include "unreadplace.h"

#include "encoder/core/filestamp.h"
#include "encoder/input/cuecuts.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include <sys/types.h>

// The inputs of a batch, found one at a time as they are asked for, so a large library is never
// held whole. A file argument is taken as it is; a folder is searched through its subfolders
// for WAVE, FLAC and AIFF files by their names (isLosslessFileName, encoder/input/sourceformat.h),
// each folder's entries in the order of their names compared code unit by code unit, the same on
// every machine and locale; the lossy files found beside them or given (isLossyFileName) are
// given as skipped, and MP3s are left out unless asked for. A folder reached a second time
// (through a link, or given twice) is not searched again. An input with a CUE sheet of its name
// beside it, and a sheet given, are the image's tracks (imagetracks.h); so are a folder's other
// sheets' files (one a track, several images), which are not then also converted whole.
class InputList
{
public:
    // Without subfolders, a folder given yields only its own files.
    explicit InputList(QStringList arguments, bool subfolders = true, Pregap pregap = Pregap::Previous);

    // MP3s found are given too, to be copied as they are rather than left out.
    void withMp3s() { m_mp3s = true; }
    // The files found in folders are given with their size and time, asked of each folder as
    // it is read, which costs less than asking by each file's whole path later.
    void withSizes() { m_sizes = true; }
    void withPregapsKnown(PregapSilence known) { m_pregaps = std::move(known); }
    // A folder never searched (a batch's output inside its inputs), where it is there.
    void passOver(const QString &folder);

    // The folders and files found that could not be read so far, in the order met. A
    // file system's lost+found, which only its owner reads, is passed over without a word.
    const std::vector<UnreadPlace> &unread() const { return m_unread; }

    std::optional<BatchInput> next();

private:
    struct Entry
    {
        QString name;
        unsigned char type; // as readdir gives it: DT_DIR, DT_REG, or to be asked (DT_LNK, DT_UNKNOWN)
        std::optional<FileStamp> stamp;
        bool operator<(const Entry &other) const { return name < other.name; }
    };
    struct Folder
    {
        QString path;
        QString below;
        std::vector<Entry> entries; // in code unit order
        std::size_t next = 0;
        bool sheets = false; // whether any entry is named as a CUE sheet
        // Sheets of files of other names (one file a track, several images), each an input.
        std::set<QString> sheetInputs; // by name
        bool isDir(const Entry &entry) const;
        // The CUE sheet of an input's name among the folder's files, as sheetBeside finds it.
        QString sheetOf(const QString &name) const;
    };
    void enter(const QString &path, const QString &below);
    void claimFiles(Folder &folder);
    void unreadable(const QString &path, int error);
    BatchInput lossyInput(const QString &path, const QString &below) const;
    // The input, or the first of its image's tracks with the others to follow.
    BatchInput take(BatchInput input, const QString &sheet);

    QStringList m_arguments;
    bool m_subfolders = true;
    bool m_mp3s = false;
    bool m_sizes = false;
    PregapSilence m_pregaps;
    Pregap m_pregap = Pregap::Previous;
    std::deque<BatchInput> m_tracks; // an image's tracks still to give
    qsizetype m_argument = 0;
    std::vector<Folder> m_folders; // the folders being searched, the innermost last
    std::set<std::pair<dev_t, ino_t>> m_searched;
    std::set<QString> m_claimed; // the files of those sheets, by path: not converted whole too
    std::vector<UnreadPlace> m_unread;
};
