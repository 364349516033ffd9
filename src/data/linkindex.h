#pragma once
// Sets of link-list texts that answer "is one of them a prefix of this address" and "does
// one of them equal it" in time that grows with the address, not with the list.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TextSet {
public:
    void build(std::vector<std::string_view> texts);
    bool empty() const { return count_ == 0; }

    // The prefix hashes of an address, computed once for all the sets asked about it.
    class Address {
    public:
        explicit Address(std::string_view text);
        std::string_view text;
        std::vector<std::uint64_t> hashes;  // hashes[L]: of the first L characters
    };

    // Some text of the set that is a prefix of the address (the empty text is a prefix
    // of every address), or nullptr.
    const std::string_view* prefixOf(const Address& a) const;
    // Some text of the set equal to the address, or nullptr.
    const std::string_view* equalTo(const Address& a) const;

private:
    const std::string_view* find(const Address& a, std::size_t length) const;

    std::vector<std::uint64_t> tags_;        // 0: empty slot
    std::vector<std::string_view> texts_;    // beside each tag
    std::vector<std::uint32_t> lengths_;     // distinct text lengths, ascending
    std::uint64_t mask_ = 0;
    std::size_t count_ = 0;
};

// The predefined list by kind ("1" and "4" prefixes, "3" exact) and the main list
// (exact, letter case of a to z ignored). Texts are views into the lists it was built
// from, which must outlive it unchanged.
class LinkIndex {
public:
    void build(const std::vector<std::string>& predefined, const std::vector<std::string>& main);

    TextSet blockPrefixes;  // kind "1"
    TextSet blockExact;     // kind "3"
    TextSet allowPrefixes;  // kind "4"
    TextSet mainList;       // upper-cased

private:
    std::vector<std::string> mainUpper_;
};
