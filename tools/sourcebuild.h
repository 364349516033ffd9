#pragma once
// The entries of every list that sources.txt names, each fetched when it changed and
// otherwise read from its last good copy; what happened to each is said and remembered.
#include "data/sources.h"
#include "tools/formats.h"

#include <cstdio>
#include <string>
#include <vector>

class Fetcher;
class ListBuilder;

struct SourceOutcome {
    enum class How { Fetched, NotChanged, OldCopy, LeftOut };
    How how = How::LeftOut;
    std::string problem;  // why it was not fetched
    std::size_t entries = 0;
    LineCounts skipped;
};

// Reads a list file of a format into the builder; false when it cannot be read.
bool readListFile(std::FILE* in, ListFormat format, ListUse use, ListBuilder& builder, LineCounts& counts);

// Adds the entries of each source to the builder, in the order of sources.txt, and
// writes each one's state. Every outcome is said on `log` (problems on `problems`),
// one plain line a source, for a person or the journal. Raises only when the folder of
// the copies cannot be made or the state cannot be written.
std::vector<SourceOutcome> buildFromSources(const std::string& programDir, const std::vector<ListSource>& sources,
                                            Fetcher& fetcher, ListBuilder& builder, std::FILE* log,
                                            std::FILE* problems);
