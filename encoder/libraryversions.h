#pragma once

#include <QStringList>

// The libraries the encoder runs with, a line each ("libmp3lame 3.100"): the version the
// library reports at run time, or, where it reports none, the one it was built against,
// marked so.
QStringList libraryVersions();
