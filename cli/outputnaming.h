#pragma once

#include "batchrequest.h"
#include "encoder/batch/inputlist.h"

#include <optional>

// Where an input's MP3 would go before existing files are looked at: below the output folder at
// the input's path below the folder given, or beside the WAVE; with a name template, at the path
// the MP3's tags give (reading the input's tags once).
QString wantedOutput(const BatchRequest &request, const BatchInput &input);

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
};
