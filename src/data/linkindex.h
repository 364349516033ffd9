#pragma once
// Sets of link-list texts that answer "is one of them a prefix of this address" and "does
// one of them equal it" in time that grows with the address, not with the list.
#include "data/textlist.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TextSet {
public:
    // The members of a list (by index), each without its first `skip` characters.
    void build(const TextList& list, std::vector<std::uint32_t> members, std::size_t skip);
    bool empty() const { return count_ == 0; }
    // After the list has moved to another object.
    void rebind(const TextList& list) { list_ = &list; }

    // The prefix hashes of an address, computed once for all the sets asked about it.
    class Address {
    public:
        explicit Address(std::string_view text);
        Address(const Address&) = delete;
        Address& operator=(const Address&) = delete;
        std::string_view text;
        const std::uint64_t* hashes;  // hashes[L]: of the first L characters

    private:
        std::uint64_t inline_[256];  // most addresses fit: no allocation per decision
        std::vector<std::uint64_t> long_;
    };

    // Some text of the set that is a prefix of the address (the empty text is a prefix
    // of every address), or nothing.
    std::optional<std::string_view> prefixOf(const Address& a) const;
    // Some text of the set equal to the address, or nothing.
    std::optional<std::string_view> equalTo(const Address& a) const;

private:
    struct Slot {
        std::uint32_t tag;    // 0: empty
        std::uint32_t index;  // into members_
    };
    struct FreeSlots {
        void operator()(Slot* s) const;
    };
    std::optional<std::string_view> find(const Address& a, std::size_t length) const;
    std::size_t slotOf(std::uint64_t mixed) const { return mixed & mask_; }
    std::string_view text(std::uint32_t member) const { return (*list_)[members_[member]].substr(skip_); }

    // One bit per hash, sixteen bits per text: small enough to stay in the cache, it
    // turns away most lengths before the large table is touched.
    bool maybe(std::uint64_t mixed) const {
        const std::uint64_t bit = (mixed >> 20) & filterMask_;
        return filter_[bit >> 6] >> (bit & 63) & 1;
    }

    std::unique_ptr<Slot[], FreeSlots> slots_;
    std::vector<std::uint64_t> filter_;
    std::uint64_t filterMask_ = 0;
    const TextList* list_ = nullptr;
    std::vector<std::uint32_t, HugeAllocator<std::uint32_t>> members_;
    std::size_t skip_ = 0;
    std::vector<std::uint32_t> lengths_;  // distinct text lengths, ascending
    std::uint64_t mask_ = 0;
    std::size_t count_ = 0;
};

// The predefined list by kind ("1" and "4" prefixes, "3" exact) and the main list
// (exact, letter case of a to z ignored). Texts are views into the lists it was built
// from, which must outlive it unchanged.
class LinkIndex {
public:
    void build(const TextList& predefined, const TextList& main);
    // After the lists (and this index with them) have moved.
    void rebind(const TextList& predefined);

    TextSet blockPrefixes;  // kind "1"
    TextSet blockExact;     // kind "3"
    TextSet allowPrefixes;  // kind "4"
    TextSet mainList;       // upper-cased

private:
    TextList mainUpper_;
};
