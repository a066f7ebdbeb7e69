#pragma once

#include "outcome.h"

#include <QString>

#include <vector>

// Makes folder and the folders above it that are missing, each made noted in made (the outermost
// first); where one cannot be made, a failure naming it and the system's reason ("Invalid
// argument" for a name the disk refuses).
Outcome makeFolders(const QString &folder, std::vector<QString> *made = nullptr);
