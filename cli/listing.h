#pragma once

#include "batchrequest.h"

#include <QString>
#include <QTextStream>

// One entry of --list or --list0: an input and its output; false, with a line on standard error,
// where a tab or a newline in a name keeps it from a line of --list.
bool printListed(QTextStream &out, BatchRequest::Listing listing, const QString &input, const QString &output);
