#pragma once

#include <QString>

// The path made absolute and clean, as lists and records name files.
QString absolute(const QString &path);
