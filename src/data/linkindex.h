#pragma once
// Sets of link-list texts that answer "is one of them a prefix of this address" and "does
// one of them equal it" in time that grows with the address, not with the list.
#include "data/block.h"
#include "data/textlist.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An address or an entry as it is compared: up to its fragment ("#..."), which the engine
// never fetches.
inline std::string_view withoutFragment(std::string_view text) { return text.substr(0, text.find('#')); }

class TextSet {
public:
    // The members of a list (by index), each without its first `skip` characters.
    void build(const TextList& list, const std::vector<std::uint32_t>& members, std::size_t skip);
    bool empty() const { return count_ == 0; }
    // After the list has moved to another object.
    void rebind(const TextList& list) { list_ = &list; }

    void save(ImageWriter& out) const;
    // Reads a set saved for this list; false when the image does not hold a well-formed one.
    bool load(ImageReader& in, const TextList& list);

    // The prefix hashes of an address, computed once for all the sets asked about it.
    class Address {
    public:
        explicit Address(std::string_view text);
        Address(const Address&) = delete;
        Address& operator=(const Address&) = delete;
        std::string_view text;
        const std::uint64_t* hashes;  // hashes[L]: of the first L characters
        // The hash of the characters from `begin` up to `end`, as of that text alone.
        std::uint64_t hashOfPart(std::size_t begin, std::size_t end) const;

    private:
        std::uint64_t inline_[256];  // most addresses fit: no allocation per decision
        std::vector<std::uint64_t> long_;
    };

    // Some text of the set that is a prefix of the address (the empty text is a prefix
    // of every address), or nothing.
    std::optional<std::string_view> prefixOf(const Address& a) const;
    // Some text of the set equal to the address, or nothing.
    std::optional<std::string_view> equalTo(const Address& a) const;
    // Some text of the set equal to the address's characters from starts[i] up to `end`,
    // for the first i in order that has one; the look-ups overlap their cache misses.
    // At most MostStarts starts are asked about.
    static constexpr std::size_t MostStarts = 64;
    std::optional<std::string_view> equalToFirst(const Address& a, const std::uint32_t* starts, std::size_t count,
                                                 std::size_t end) const;


private:
    struct Slot {
        std::uint32_t tag;    // 0: empty; the top byte holds the text's length, up to 255
        std::uint32_t where;  // a short text's place among the list's characters, else its index
    };
    std::optional<std::string_view> textOf(Slot slot, std::size_t length) const;
    // The text of this length whose mixed hash is `mixed`, if there is one.
    std::optional<std::string_view> find(const char* text, std::size_t length, std::uint64_t mixed) const;
    std::size_t slotOf(std::uint64_t mixed) const { return mixed & mask_; }
    std::string_view text(std::uint32_t index) const {
        const std::string_view t = (*list_)[index];
        return withoutFragment(t.substr(std::min(skip_, t.size())));
    }

    // Two bits of one word per hash, sixteen bits per text: it turns away nearly all
    // lengths before the large table is touched, at one cache miss each.
    std::size_t wordOf(std::uint64_t mixed) const { return (mixed >> 40) & wordMask_; }
    static std::uint64_t bitsOf(std::uint64_t mixed) {
        return std::uint64_t(1) << ((mixed >> 24) & 63) | std::uint64_t(1) << ((mixed >> 30) & 63);
    }
    bool maybe(std::uint64_t mixed) const {
        const std::uint64_t bits = bitsOf(mixed);
        return (filter_[wordOf(mixed)] & bits) == bits;
    }

    Block<Slot> slots_;
    Block<std::uint64_t> filter_;
    Block<std::uint32_t> lengths_;  // distinct text lengths, ascending
    std::uint64_t shortLengths_[4] = {};  // the same below 256, one bit each: asked at once
    void markLengths();
    bool hasLength(std::size_t length) const;
    std::uint64_t wordMask_ = 0;
    const TextList* list_ = nullptr;
    std::size_t skip_ = 0;
    std::uint64_t mask_ = 0;
    std::size_t count_ = 0;
};

// The predefined list by kind ("1" and "4" prefixes, "3" exact, "2" and "5" domains) and
// the main list (exact, letter case of a to z ignored). Texts are views into the lists it
// was built from, which must outlive it unchanged.
class LinkIndex {
public:
    void build(const TextList& predefined, const TextList& main);
    // After the lists (and this index with them) have moved.
    void rebind(const TextList& predefined);

    void save(ImageWriter& out) const;
    bool load(ImageReader& in, const TextList& predefined);

    TextSet blockPrefixes;  // kind "1"
    TextSet blockExact;     // kind "3"
    TextSet allowPrefixes;  // kind "4"
    TextSet blockDomains;   // kind "2": domain names without outer dots
    TextSet allowDomains;   // kind "5": the same
    TextSet mainList;       // upper-cased


private:
    TextList mainUpper_;
    TextList domains_;  // the names of the domain entries
};

// A host asked of the domain sets: the places in the address where a name that the host
// is, or lies below, begins (a host has a handful of labels; an IPv4 address is only
// itself). Its hashes come from the address's own.
class HostLookup {
public:
    // `host` is a part of the address's text, as hostOf gives it; the address must
    // outlive the look-up.
    HostLookup(const TextSet::Address& address, std::string_view host);
    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

    // The entry of the set that the host is, or lies below (the view lives as long as
    // the index).
    std::optional<std::string_view> in(const TextSet& set) const;

private:
    const TextSet::Address& address_;
    // The whole host first, then ever shorter names: most hosts have a few, any may have
    // more.
    std::uint32_t inline_[64];
    std::vector<std::uint32_t> more_;
    const std::uint32_t* starts_ = inline_;
    std::size_t count_ = 0;
    std::size_t end_ = 0;
};

// A domain entry's name as it is compared: without a fragment or the dots at either end.
std::string_view domainName(std::string_view entryText);
// Whether a host is the domain or lies below it ("." + domain ends it); an IPv4 address
// only ever is itself.
bool hostInDomain(std::string_view host, std::string_view domain);
