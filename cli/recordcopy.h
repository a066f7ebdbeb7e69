#pragma once

#include "encoder/core/outcome.h"

#include <QString>

struct sqlite3;

// An SQLite database held in memory and written back whole: on disks where a file grown after it
// was closed loses the pages it gains (FAT through fusefat), nothing is ever written into the
// file a run opened; each save is a new file, made in one opening, synced and renamed over it.
// The one writer is assumed (the mirror's lock): two would each rename over the other's copy.

// Reads the database at path into memory, an empty one where there is none.
Outcome loadRecord(const QString &path, sqlite3 *memory);
// Writes memory to a new file beside path and renames it over path: a kill at any moment leaves
// either the old database or the new one.
Outcome saveRecord(sqlite3 *memory, const QString &path);
