#pragma once

#include "chunkplan.h"
#include "seams.h"
#include "encoder/core/outcome.h"
#include "encoder/mp3/frames.h"
#include "encoder/mp3/infoframe.h"
#include "encoder/output/mp3output.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// The chunks' frames joined into one stream at the seams chooseSeam() finds. A chunk is
// written to the output once the seam to its successor is known, so only the chunks not yet
// joined are held. Every frame written is checked against the reservoir chain and counted for
// the info frame. One caller at a time.
class StreamJoiner
{
public:
    StreamJoiner(const ChunkLayout &layout, bool variableRate, Mp3Output &output)
        : m_layout(layout), m_variableRate(variableRate), m_output(output)
    {
    }

    // Takes chunk index, finished, in any order, and joins every chunk whose predecessors are
    // all in. A failure of kind Unjoinable: no seam works.
    Outcome deliver(int index, EncodedChunk chunk);
    // Chunks joined so far, from the first.
    int joined() const { return m_nextJoined; }
    const InfoFrameBuilder &info() const { return m_info; }
    const std::vector<std::int64_t> &seams() const { return m_seams; }

private:
    int chunks() const { return static_cast<int>(m_layout.starts.size()); }
    Outcome join(int index, EncodedChunk chunk);
    Outcome write(const EncodedChunk &chunk, std::int64_t from, std::int64_t to);

    const ChunkLayout &m_layout;
    const bool m_variableRate;
    Mp3Output &m_output;
    int m_nextJoined = 0;
    std::map<int, EncodedChunk> m_finished;
    std::optional<EncodedChunk> m_held; // the last chunk joined, written up to m_heldFrom
    std::int64_t m_heldFrom = 0;
    InfoFrameBuilder m_info;
    MainDataChain m_chain;
    std::vector<std::int64_t> m_seams;
};

Outcome unjoinable();
