#pragma once
// A large data.dat keeps its sorted entries and approval index in a file beside it, so
// the next start reads that file instead of sorting and hashing a million entries again.
// The index names the data.dat it was made from by length and checksum; any other
// data.dat, or a damaged index, is not used.
#include "data/linklists.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr const char* IndexFileName = "data.idx";
// Below this a list loads faster than its index file is checked.
inline constexpr std::size_t IndexedFileSize = std::size_t(1) << 20;

// An index file read and checked whole: the lists in it view its bytes.
class IndexFile {
public:
    // Not usable when missing, of another version or not well-formed.
    static IndexFile open(const std::string& path);
    // Whether it was made from a data.dat of this length and checksum.
    bool madeFrom(std::size_t fileLength, std::uint64_t fileChecksum) const;
    LinkLists&& lists() { return std::move(lists_); }

private:
    LinkLists lists_;
    std::uint64_t fileLength_ = 0;
    std::uint64_t fileChecksum_ = 0;
    bool usable_ = false;
};

// Replaces the index file in one step. Best effort: a folder that cannot take it only
// costs the next start the time of a fresh load.
void writeIndexFile(const std::string& path, std::string_view dataFile, const LinkLists& lists);
void removeIndexFile(const std::string& path);
