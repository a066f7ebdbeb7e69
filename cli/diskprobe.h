#pragma once

#include "disknames.h"

#include <QHash>
#include <QString>

#include <optional>

// What names the disk holding folder (or, where it is not there yet, its nearest folder that is)
// takes, found by making names there and removing them at once: one with a colon (refused: the
// names must be portable), one with a letter beyond ASCII (refused: ASCII), and one looked up
// in the other letter case (found: the disk tells no case). Where nothing can be made there,
// only the last, by the folder's own name in the other case (an entry's in it, where it is the
// disk's top folder), with portable names assumed where the disk is read-only or refuses this
// user (native names where it is full or failing).
DiskNames probeNames(const QString &folder);

// The names of the MP3s below each output folder: as given (--names, or the listing run's for
// its jobs), else asked of each file system met, once.
class NamesOfDisks
{
public:
    explicit NamesOfDisks(std::optional<DiskNames> given) : m_given(given) {}
    DiskNames at(const QString &folder);

private:
    std::optional<DiskNames> m_given;
    QHash<quint64, DiskNames> m_byDevice;
};
