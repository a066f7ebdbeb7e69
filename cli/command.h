#pragma once

#include "batchrequest.h"

#include "encoder/lameencoderx.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

// The forms of the command: INPUT OUTPUT (one file as the window converts it), a batch of files
// and folders, and the mirror.
enum class Form { InOut, Batch, Mirror };

// What the command line asks for.
struct Command
{
    QStringList files;
    BatchRequest batch;
    std::optional<int> threads;
    LameEncoderX encoder; // the members given as --Member=value
    QString lameBitrate;  // the word of lame's that set a constant rate (-b, --preset), if any
    QString lameVbr;      // the one that set a VBR quality (-V, --preset), if any
    // The command's own options given, by long name, each with its value, in order.
    std::vector<std::pair<QString, QString>> given;
    Form form = Form::InOut;
};
