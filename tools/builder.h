#pragma once
// The entries of a data.dat being built. A million entries are kept as texts in large
// blocks and sorted once, in the order the browser keeps them, so that a list of public
// size is built in a small part of the memory a map of strings would take.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct BuildCounts {
    std::size_t blocked = 0, allowed = 0, approved = 0, duplicates = 0;
};

class ListBuilder {
public:
    // A predefined entry: the kind code and its text.
    void add(std::string_view entry);
    // An approved address for the verification of left-pane links.
    void approve(std::string_view address);

    // What has been added so far, to take back the entries of a list that is refused
    // after it was read.
    struct Mark {
        std::size_t entries = 0, blocks = 0, used = 0;
    };
    Mark mark() const { return {refs_.size(), blocks_.size(), used_}; }
    void undo(const Mark& m);
    std::size_t entries() const { return refs_.size(); }

    // The data.dat text: entries in the browser's order (kind code, then the text
    // upper-cased), the first of entries alike but for letter case kept. Frees the
    // entries as it goes; counts are then final.
    std::string take();
    const BuildCounts& counts() const { return counts_; }

private:
    static constexpr std::size_t BlockSize = 1 << 20;
    struct Ref {
        std::uint32_t at;  // block number times BlockSize plus the offset in it
        std::uint32_t length;
    };
    std::string_view text(const Ref& r) const { return {blocks_[r.at / BlockSize].get() + r.at % BlockSize, r.length}; }

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = BlockSize;  // in the last block
    std::vector<Ref> refs_;
    std::vector<std::string> main_;
    std::unordered_set<std::string> seenMain_;
    BuildCounts counts_;
};
