#pragma once

#include <QIODevice>
#include <QString>

#include "formats/FileProgress.h"
#include "graph/GraphState.h"

namespace kl516 {

// Graph files (".ghf") and the graph template: a 32-bit little-endian count N, then N bytes of
// the graph state block (saveGraphState). The block is only exchanged between installations of
// this program.

// The largest block a reader accepts. No state the program produces comes near it (two series
// of the largest logger set); a count above it is a damaged or foreign file.
inline constexpr quint32 kMaxGraphBlock = 512u * 1024u * 1024u;

// Writes the state atomically: an earlier file is replaced only when every byte reached the
// disk. Failed carries the file name and the reason.
FileWriteResult writeGraphFile(const GraphState& state, const QString& path);

struct GraphFileRead {
    bool ok = false;
    QString error;  // the one message to show when !ok
};

// Reads a graph file into state, replacing everything it held. A file that cannot be opened,
// whose count is larger than the rest of the file or than kMaxGraphBlock, or whose block the
// graph cannot load changes nothing and gives the error text; the count alone never decides
// how much memory is taken.
GraphFileRead readGraphFile(const QString& path, GraphState& state);
// The same from an open device positioned at the count; name is the file named in the error.
GraphFileRead readGraphFile(QIODevice& in, const QString& name, GraphState& state);

}  // namespace kl516
