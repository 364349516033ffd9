#include "data/linkindex.h"

#include "platform/text.h"

#include <algorithm>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace {

constexpr std::uint64_t Multiplier = 0x100000001B3ull;
constexpr std::uint64_t Seed = 0xCBF29CE484222325ull;
constexpr std::size_t HugePage = 2u << 20;

// Spreads a prefix hash and its length over the table: the low bits pick the slot,
// the high bits are kept as the slot's tag.
std::uint64_t mix(std::uint64_t hash, std::size_t length) {
    std::uint64_t z = hash + 0x9E3779B97F4A7C15ull * (length + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint32_t tagOf(std::uint64_t mixed) { return static_cast<std::uint32_t>(mixed >> 32) | 1; }

std::uint64_t hashOf(std::string_view s) {
    std::uint64_t h = Seed;
    for (unsigned char c : s) h = h * Multiplier + c;
    return h;
}

}  // namespace

void TextSet::FreeSlots::operator()(Slot* s) const { std::free(s); }

TextSet::Address::Address(std::string_view t) : text(t) {
    std::uint64_t* out = inline_;
    if (t.size() + 1 > std::size(inline_)) {
        long_.resize(t.size() + 1);
        out = long_.data();
    }
    std::uint64_t h = Seed;
    out[0] = h;
    for (std::size_t i = 0; i < t.size(); ++i) {
        h = h * Multiplier + static_cast<unsigned char>(t[i]);
        out[i + 1] = h;
    }
    hashes = out;
}

void TextSet::build(const TextList& list, std::vector<std::uint32_t> members, std::size_t skip) {
    list_ = &list;
    skip_ = skip;
    count_ = members.size();
    members_.assign(members.begin(), members.end());
    lengths_.clear();
    slots_.reset();
    if (count_ == 0) return;
    std::size_t capacity = 16;
    while (capacity < count_ * 2) capacity <<= 1;
    mask_ = capacity - 1;
    // Large tables on huge pages: a look-up then costs a cache miss, not a page walk too.
    const std::size_t bytes = capacity * sizeof(Slot);
    void* memory;
    if (bytes < HugePage) {
        memory = std::calloc(capacity, sizeof(Slot));
    } else {
        const std::size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;
        memory = std::aligned_alloc(HugePage, rounded);
        if (memory) {
            madvise(memory, rounded, MADV_HUGEPAGE);
            std::memset(memory, 0, rounded);
        }
    }
    if (!memory) throw std::bad_alloc();
    slots_.reset(static_cast<Slot*>(memory));

    std::size_t bits = 64;
    while (bits < count_ * 16) bits <<= 1;
    filterMask_ = bits - 1;
    filter_.assign(bits / 64, 0);

    std::vector<bool> seenLength;
    for (std::uint32_t i = 0; i < count_; ++i) {
        const std::string_view t = text(i);
        const std::uint64_t m = mix(hashOf(t), t.size());
        std::size_t at = slotOf(m);
        while (slots_[at].tag != 0) at = (at + 1) & mask_;
        slots_[at] = {tagOf(m), i};
        const std::uint64_t bit = (m >> 20) & filterMask_;
        filter_[bit >> 6] |= std::uint64_t(1) << (bit & 63);
        if (seenLength.size() <= t.size()) seenLength.resize(t.size() + 1);
        seenLength[t.size()] = true;
    }
    for (std::uint32_t l = 0; l < seenLength.size(); ++l)
        if (seenLength[l]) lengths_.push_back(l);
}

std::optional<std::string_view> TextSet::find(const Address& a, std::size_t length) const {
    const std::uint64_t m = mix(a.hashes[length], length);
    if (!maybe(m)) return std::nullopt;
    const std::uint32_t tag = tagOf(m);
    for (std::size_t at = slotOf(m); slots_[at].tag != 0; at = (at + 1) & mask_) {
        if (slots_[at].tag != tag) continue;
        const std::string_view t = text(slots_[at].index);
        if (t.size() == length && (length == 0 || std::memcmp(t.data(), a.text.data(), length) == 0)) return t;
    }
    return std::nullopt;
}

std::optional<std::string_view> TextSet::prefixOf(const Address& a) const {
    if (count_ == 0) return std::nullopt;
    const auto end = std::upper_bound(lengths_.begin(), lengths_.end(), static_cast<std::uint32_t>(a.text.size()));
    std::uint32_t candidates[256];
    std::size_t n = 0;
    for (auto l = lengths_.begin(); l != end; ++l) {
        const std::uint64_t m = mix(a.hashes[*l], *l);
        if (!maybe(m)) continue;
        if (n == std::size(candidates)) {
            if (auto found = find(a, *l)) return found;
            continue;
        }
        // Ask the memory for the slots of all candidates first: the look-ups overlap.
        __builtin_prefetch(&slots_[slotOf(m)]);
        candidates[n++] = *l;
    }
    for (std::size_t i = 0; i < n; ++i)
        if (auto found = find(a, candidates[i])) return found;
    return std::nullopt;
}

std::optional<std::string_view> TextSet::equalTo(const Address& a) const {
    if (count_ == 0) return std::nullopt;
    if (!std::binary_search(lengths_.begin(), lengths_.end(), static_cast<std::uint32_t>(a.text.size())))
        return std::nullopt;
    return find(a, a.text.size());
}

void LinkIndex::build(const TextList& predefined, const TextList& main) {
    std::vector<std::uint32_t> kind1, kind3, kind4;
    for (std::uint32_t i = 0; i < predefined.size(); ++i) {
        const std::string_view e = predefined[i];
        if (e.empty()) continue;
        if (e[0] == '1')
            kind1.push_back(i);
        else if (e[0] == '3')
            kind3.push_back(i);
        else if (e[0] == '4')
            kind4.push_back(i);
    }
    // The kind code is not part of what is compared.
    blockPrefixes.build(predefined, std::move(kind1), 1);
    blockExact.build(predefined, std::move(kind3), 1);
    allowPrefixes.build(predefined, std::move(kind4), 1);
    mainUpper_.clear();
    std::vector<std::uint32_t> all;
    for (std::string_view e : main) {
        all.push_back(static_cast<std::uint32_t>(all.size()));
        mainUpper_.push_back(upperAZ(std::string(e)));
    }
    mainList.build(mainUpper_, std::move(all), 0);
}

void LinkIndex::rebind(const TextList& predefined) {
    blockPrefixes.rebind(predefined);
    blockExact.rebind(predefined);
    allowPrefixes.rebind(predefined);
    mainList.rebind(mainUpper_);
}
