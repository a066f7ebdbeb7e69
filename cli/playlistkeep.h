#pragma once

#include "batchrequest.h"
#include "manifest.h"

#include <QString>

// After a mirror's run: each playlist of SRC written into the mirror for its MP3s as the record
// now names them, where that differs from what was written; the playlists whose source is gone
// go as --gone says; the record's playlists table follows. False where one could not be read,
// written or taken away.
bool keepPlaylists(const BatchRequest &request, const Manifest &manifest, const QString &mirror);
