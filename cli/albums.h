#pragma once

#include "batchrequest.h"
#include "encoder/batch/batchinput.h"

#include <QHash>
#include <QString>

#include <vector>

// Which files of a batch form an album, for the album's loudness figures: by default the WAVE
// files of one folder; with --album=tags those with the same album artist, album and disc
// number, wherever they lie. The list is walked once ahead of the run to count each album's
// tracks, so that an album is whole as soon as its last track has ended.
class AlbumPlan
{
public:
    explicit AlbumPlan(const BatchRequest &request);
    // Of the inputs already listed, which it does not copy: no albumInputs().
    AlbumPlan(const BatchRequest &request, const std::vector<BatchInput> &inputs);

    // The album's index and the track's place in it, in the list's order; album -1 for none.
    struct Place
    {
        int album = -1;
        int track = 0;
    };
    Place place(const BatchInput &input);
    // How many tracks each album has, by index.
    const std::vector<int> &trackCounts() const { return m_counts; }
    // Each album's inputs, by index, in the list's order.
    const std::vector<std::vector<BatchInput>> &albumInputs() const { return m_inputs; }

    // What makes an album of an input: its folder, or its album tags, or the CD image it is a
    // track of; empty for none.
    QString key(const BatchInput &input);

private:
    void count(const BatchInput &input);

    const BatchRequest &m_request;
    QHash<QString, int> m_albums; // by key
    QHash<QString, QString> m_tagKeys; // by input, with --album=tags: read once
    std::vector<int> m_counts;
    std::vector<std::vector<BatchInput>> m_inputs;
    std::vector<int> m_placed;
    bool m_keepInputs = true;
    QString m_lastFolder; // of the last input given by its absolute path, and its key
    QString m_lastKey;
};
