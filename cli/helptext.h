#pragma once

#include <QString>

// --help: the usage, what the command does, and every option under its heading, from the
// option tables, each line at most 79 columns.
QString helpText();

// text broken at spaces into lines of at most 79 columns, each after the first indented by
// indent spaces; the first starts at column first (what stands before it on its line).
QString wrapped(const QString &text, int indent, int first = -1);
