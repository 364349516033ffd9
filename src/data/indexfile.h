#pragma once
// A large data.dat keeps its sorted entries and approval index in a file beside it, so
// the next start maps that file instead of sorting and hashing a million entries again.
// The file names the text it was made from by length and checksum; any other text, or a
// damaged file, is not used.
#include "data/image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class LinkLists;

inline constexpr const char* IndexFileName = "data.idx";
// Below this a list loads faster than its index file is checked.
inline constexpr std::size_t IndexedTextSize = std::size_t(1) << 20;

// An index file mapped, with its header and its own checksum checked.
class IndexFile {
public:
    // Not usable when missing, of another version or damaged.
    static IndexFile open(const std::string& path);
    // Whether it was made from the text of this length and checksum.
    bool madeFrom(std::size_t textLength, std::uint64_t textChecksum) const;
    // Fills empty lists; false (and the lists empty) when the contents are not well-formed.
    bool load(LinkLists& lists) const;

private:
    Mapping mapping_;
    std::uint64_t textLength_ = 0;
    std::uint64_t textChecksum_ = 0;
    bool usable_ = false;
};

// Replaces the index file in one step. Best effort: a folder that cannot take it only
// costs the next start the time of a fresh load.
void writeIndexFile(const std::string& path, std::string_view text, const LinkLists& lists);
void removeIndexFile(const std::string& path);
