#pragma once

#include "batchrequest.h"
#include "diskprobe.h"

#include "encoder/batch/inputlist.h"

#include <optional>

// Where an input's MP3 would go before existing files are looked at: below the output folder at
// the input's path below the folder given, or beside the WAVE; with a name template, at the path
// the MP3's tags give (reading the input's tags once). As asked for, before its names are made
// fit for the disk.
struct WantedOutput
{
    QString folder; // there already, or the output folder
    QString below; // the names below it, the last the MP3's
    QString path() const { return folder + QLatin1Char('/') + below; }
};
WantedOutput wantedOutput(const BatchRequest &request, const BatchInput &input);

// The output as the disk holds it: each name fitted to names, a folder that is one there with
// another asked for before numbered in folders.
QString fittedOutput(const WantedOutput &wanted, const DiskNames &names, FolderSpellings &folders);

// The batch's inputs in order, each with its output decided; a skipped input (its reason in
// BatchInput::skipped) has none.
class BatchQueue
{
public:
    explicit BatchQueue(const BatchRequest &request);

    struct Item
    {
        BatchInput input;
        OutputChoice choice;
    };
    std::optional<Item> next();
    // The folders and files met that could not be read.
    const std::vector<UnreadPlace> &unread() const { return m_inputs.unread(); }

private:
    const BatchRequest &m_request;
    InputList m_inputs;
    OutputClaims m_claims;
    NamesOfDisks m_names;
    FolderSpellings m_folders;
};
