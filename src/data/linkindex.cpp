#include "data/linkindex.h"

#include "platform/text.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint64_t Multiplier = 0x100000001B3ull;
constexpr std::uint64_t Seed = 0xCBF29CE484222325ull;

// Spreads a prefix hash and its length over the table.
std::uint64_t tagOf(std::uint64_t hash, std::size_t length) {
    std::uint64_t z = hash + 0x9E3779B97F4A7C15ull * (length + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return (z ^ (z >> 31)) | 1;  // never 0, which marks an empty slot
}

std::uint64_t hashOf(std::string_view s) {
    std::uint64_t h = Seed;
    for (unsigned char c : s) h = h * Multiplier + c;
    return h;
}

}  // namespace

TextSet::Address::Address(std::string_view t) : text(t), hashes(t.size() + 1) {
    std::uint64_t h = Seed;
    hashes[0] = h;
    for (std::size_t i = 0; i < t.size(); ++i) {
        h = h * Multiplier + static_cast<unsigned char>(t[i]);
        hashes[i + 1] = h;
    }
}

void TextSet::build(std::vector<std::string_view> texts) {
    count_ = texts.size();
    lengths_.clear();
    std::size_t capacity = 16;
    while (capacity < texts.size() * 2) capacity <<= 1;
    mask_ = capacity - 1;
    tags_.assign(count_ ? capacity : 0, 0);
    texts_.assign(count_ ? capacity : 0, {});
    for (std::string_view t : texts) {
        const std::uint64_t tag = tagOf(hashOf(t), t.size());
        std::uint64_t at = tag & mask_;
        while (tags_[at] != 0) at = (at + 1) & mask_;
        tags_[at] = tag;
        texts_[at] = t;
        lengths_.push_back(static_cast<std::uint32_t>(t.size()));
    }
    std::sort(lengths_.begin(), lengths_.end());
    lengths_.erase(std::unique(lengths_.begin(), lengths_.end()), lengths_.end());
}

const std::string_view* TextSet::find(const Address& a, std::size_t length) const {
    const std::uint64_t tag = tagOf(a.hashes[length], length);
    for (std::uint64_t at = tag & mask_; tags_[at] != 0; at = (at + 1) & mask_) {
        if (tags_[at] == tag && texts_[at].size() == length &&
            std::memcmp(texts_[at].data(), a.text.data(), length) == 0)
            return &texts_[at];
    }
    return nullptr;
}

const std::string_view* TextSet::prefixOf(const Address& a) const {
    if (count_ == 0) return nullptr;
    const auto end = std::upper_bound(lengths_.begin(), lengths_.end(), static_cast<std::uint32_t>(a.text.size()));
    // Ask the memory for every slot first: the look-ups overlap instead of waiting in turn.
    for (auto l = lengths_.begin(); l != end; ++l) __builtin_prefetch(&tags_[tagOf(a.hashes[*l], *l) & mask_]);
    for (auto l = lengths_.begin(); l != end; ++l)
        if (const auto* found = find(a, *l)) return found;
    return nullptr;
}

const std::string_view* TextSet::equalTo(const Address& a) const {
    if (count_ == 0) return nullptr;
    if (!std::binary_search(lengths_.begin(), lengths_.end(), static_cast<std::uint32_t>(a.text.size())))
        return nullptr;
    return find(a, a.text.size());
}

void LinkIndex::build(const std::vector<std::string>& predefined, const std::vector<std::string>& main) {
    std::vector<std::string_view> kind1, kind3, kind4;
    for (const std::string& e : predefined) {
        if (e.empty()) continue;
        const std::string_view text = std::string_view(e).substr(1);
        if (e[0] == '1')
            kind1.push_back(text);
        else if (e[0] == '3')
            kind3.push_back(text);
        else if (e[0] == '4')
            kind4.push_back(text);
    }
    blockPrefixes.build(std::move(kind1));
    blockExact.build(std::move(kind3));
    allowPrefixes.build(std::move(kind4));
    mainUpper_.clear();
    mainUpper_.reserve(main.size());
    for (const std::string& e : main) mainUpper_.push_back(upperAZ(e));
    mainList.build(std::vector<std::string_view>(mainUpper_.begin(), mainUpper_.end()));
}
