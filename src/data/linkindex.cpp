#include "data/linkindex.h"

#include "data/image.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>

namespace {

constexpr std::uint64_t Multiplier = 0x100000001B3ull;
constexpr std::uint64_t Seed = 0xCBF29CE484222325ull;

// Spreads a prefix hash and its length over all 64 bits: the low bits pick the slot,
// others the filter bits and the tag. One multiplication: it runs once for every
// length of every address.
std::uint64_t mix(std::uint64_t hash, std::size_t length) {
    const std::uint64_t z = (hash ^ (0x9E3779B97F4A7C15ull * (length + 1))) * 0xBF58476D1CE4E5B9ull;
    return z ^ (z >> 29);
}

// A text shorter than this is found by its place among the list's characters (its
// length is in the tag), a longer one by its index in the list.
constexpr std::size_t LongText = 255;

// The text length (up to LongText) in the top byte, so that a tag that matches names a
// text of the length looked for; 23 more bits of the hash; never 0.
std::uint32_t tagOf(std::uint64_t mixed, std::size_t length) {
    const auto bits = static_cast<std::uint32_t>((mixed * 0x9E3779B97F4A7C15ull) >> 41);
    return static_cast<std::uint32_t>(std::min(length, LongText)) << 24 | bits << 1 | 1;
}

// A text's hash is the sum of (character + 1) * Multiplier^(place + 1) over its
// characters, so the hashes of all the prefixes of an address come from independent
// multiplications instead of a chain of them.
constexpr std::size_t PowerCount = 256;
struct Powers {
    std::uint64_t of[PowerCount];
    constexpr Powers() : of() {
        std::uint64_t p = 1;
        for (std::size_t i = 0; i < PowerCount; ++i) of[i] = p *= Multiplier;
    }
};
constexpr Powers powers;

// The multiplier is odd, so it has an inverse modulo 2^64 (Newton's steps, each doubling
// the bits that are right): the hash of a part of an address comes from two of its
// prefix hashes.
constexpr std::uint64_t inverseOf(std::uint64_t m) {
    std::uint64_t x = m;
    for (int i = 0; i < 6; ++i) x *= 2 - m * x;
    return x;
}
static_assert(Multiplier * inverseOf(Multiplier) == 1);
struct InversePowers {
    std::uint64_t of[PowerCount];  // of[i]: Multiplier^-i
    constexpr InversePowers() : of() {
        std::uint64_t p = 1;
        for (std::size_t i = 0; i < PowerCount; ++i, p *= inverseOf(Multiplier)) of[i] = p;
    }
};
constexpr InversePowers inversePowers;

// hashes[L] for L from 0 to the text's size (hashes has one more place than the text).
void prefixHashes(std::string_view t, std::uint64_t* hashes) {
    std::uint64_t h = Seed;
    hashes[0] = h;
    const std::size_t near = std::min(t.size(), PowerCount);
    for (std::size_t i = 0; i < near; ++i) {
        h += (static_cast<unsigned char>(t[i]) + std::uint64_t(1)) * powers.of[i];
        hashes[i + 1] = h;
    }
    std::uint64_t p = powers.of[PowerCount - 1];
    for (std::size_t i = near; i < t.size(); ++i) {
        p *= Multiplier;
        h += (static_cast<unsigned char>(t[i]) + std::uint64_t(1)) * p;
        hashes[i + 1] = h;
    }
}

std::uint64_t hashOf(std::string_view s) {
    std::uint64_t h = Seed;
    const std::size_t near = std::min(s.size(), PowerCount);
    for (std::size_t i = 0; i < near; ++i) h += (static_cast<unsigned char>(s[i]) + std::uint64_t(1)) * powers.of[i];
    std::uint64_t p = powers.of[PowerCount - 1];
    for (std::size_t i = near; i < s.size(); ++i) {
        p *= Multiplier;
        h += (static_cast<unsigned char>(s[i]) + std::uint64_t(1)) * p;
    }
    return h;
}

}  // namespace

TextSet::Address::Address(std::string_view t) : text(t) {
    std::uint64_t* out = inline_;
    if (t.size() + 1 > std::size(inline_)) {
        long_.resize(t.size() + 1);
        out = long_.data();
    }
    prefixHashes(t, out);
    hashes = out;
}

std::uint64_t TextSet::Address::hashOfPart(std::size_t begin, std::size_t end) const {
    // hashes[end] - hashes[begin] is the part's hash without the seed, shifted by `begin` places.
    if (begin < PowerCount) return Seed + (hashes[end] - hashes[begin]) * inversePowers.of[begin];
    return hashOf(text.substr(begin, end - begin));
}

void TextSet::build(const TextList& list, const std::vector<std::uint32_t>& members, std::size_t skip) {
    list_ = &list;
    skip_ = skip;
    count_ = members.size();
    slots_.clear();
    filter_.clear();
    lengths_.clear();
    if (count_ == 0) return;
    // A third to two thirds full: probes stay short and the table small.
    std::size_t capacity = 16;
    while (capacity < count_ + count_ / 2) capacity <<= 1;
    mask_ = capacity - 1;
    slots_.assign(capacity, Slot{0, 0});
    Slot* table = slots_.edit();

    std::size_t words = 1;
    while (words * 64 < count_ * 16) words <<= 1;
    wordMask_ = words - 1;
    filter_.assign(words, 0);
    std::uint64_t* filter = filter_.edit();

    // A pipeline over the members, as their texts and slots lie all over memory: a
    // member's text is asked for Ahead steps before it is hashed, and its slot and filter
    // word Ahead steps before it is put in, so the cache misses overlap.
    constexpr std::size_t Ahead = 16;
    std::uint64_t pending[Ahead];
    std::vector<bool> seenLength;
    const std::size_t total = members.size();
    for (std::size_t i = 0; i < total + Ahead; ++i) {
        if (i >= Ahead) {
            const std::uint64_t m = pending[i % Ahead];
            std::size_t at = slotOf(m);
            while (table[at].tag != 0) at = (at + 1) & mask_;
            const std::uint32_t member = members[i - Ahead];
            const std::size_t length = text(member).size();
            table[at] = {tagOf(m, length), length < LongText ? list.offsetOf(member) : member};
            filter[wordOf(m)] |= bitsOf(m);
        }
        if (i < total) {
            if (i + Ahead < total) __builtin_prefetch(list[members[i + Ahead]].data());
            const std::string_view t = text(members[i]);
            const std::uint64_t m = mix(hashOf(t), t.size());
            __builtin_prefetch(&table[slotOf(m)], 1);
            __builtin_prefetch(&filter[wordOf(m)], 1);
            pending[i % Ahead] = m;
            if (seenLength.size() <= t.size()) seenLength.resize(t.size() + 1);
            seenLength[t.size()] = true;
        }
    }
    for (std::uint32_t l = 0; l < seenLength.size(); ++l)
        if (seenLength[l]) lengths_.push_back(l);
    markLengths();
}

void TextSet::markLengths() {
    std::fill(std::begin(shortLengths_), std::end(shortLengths_), 0);
    for (const std::uint32_t l : lengths_)
        if (l < 256) shortLengths_[l / 64] |= std::uint64_t(1) << (l % 64);
}

bool TextSet::hasLength(std::size_t length) const {
    if (length < 256) return (shortLengths_[length / 64] >> (length % 64)) & 1;
    return std::binary_search(lengths_.begin(), lengths_.end(), static_cast<std::uint32_t>(length));
}

void TextSet::save(ImageWriter& out) const {
    out.put(skip_);
    out.put(count_);
    out.put(mask_);
    out.put(wordMask_);
    out.put(slots_);
    out.put(filter_);
    out.put(lengths_);
}

bool TextSet::load(ImageReader& in, const TextList& list) {
    list_ = &list;
    skip_ = in.get();
    count_ = in.get();
    mask_ = in.get();
    wordMask_ = in.get();
    slots_ = in.get<Slot>();
    filter_ = in.get<std::uint64_t>();
    lengths_ = in.get<std::uint32_t>();
    const auto powerOfTwo = [](std::uint64_t n) { return n != 0 && (n & (n - 1)) == 0; };
    bool ok = in.ok() && skip_ <= 1;
    if (ok && count_ == 0) {
        ok = slots_.empty() && filter_.empty() && lengths_.empty();
    } else if (ok) {
        // What a look-up relies on besides its own checks: the masks fit the tables and
        // the lengths ascend.
        ok = powerOfTwo(slots_.size()) && mask_ == slots_.size() - 1 && count_ < slots_.size() &&
             powerOfTwo(filter_.size()) && wordMask_ == filter_.size() - 1 &&
             std::adjacent_find(lengths_.begin(), lengths_.end(), std::greater_equal<>()) == lengths_.end();
    }
    if (!ok) {
        in.fail();
        count_ = 0;
        slots_.clear();
        filter_.clear();
        lengths_.clear();
    }
    markLengths();
    return ok;
}

std::optional<std::string_view> TextSet::textOf(Slot slot, std::size_t length) const {
    // Checked, so that a table read from a file cannot lead a look-up astray.
    if (length < LongText) {
        const std::string_view chars = list_->characters();
        const std::uint64_t from = std::uint64_t(slot.where) + skip_;
        if (from + length > chars.size()) return std::nullopt;
        return chars.substr(from, length);
    }
    if (slot.where >= list_->size()) return std::nullopt;
    const std::string_view t = text(slot.where);
    if (t.size() != length) return std::nullopt;
    return t;
}

std::optional<std::string_view> TextSet::find(const char* text, std::size_t length, std::uint64_t m) const {
    const std::uint32_t tag = tagOf(m, length);
    // Bounded: a table that was built always has a free slot, one read from a file might not.
    for (std::size_t at = slotOf(m), left = slots_.size(); left > 0 && slots_[at].tag != 0;
         at = (at + 1) & mask_, --left) {
        if (slots_[at].tag != tag) continue;
        const auto t = textOf(slots_[at], length);
        if (t && (length == 0 || std::memcmp(t->data(), text, length) == 0)) return t;
    }
    return std::nullopt;
}

std::optional<std::string_view> TextSet::prefixOf(const Address& a) const {
    if (count_ == 0) return std::nullopt;
    const std::uint32_t* const end =
        std::upper_bound(lengths_.begin(), lengths_.end(), static_cast<std::uint32_t>(a.text.size()));
    // In rounds of up to 64 lengths: the filter words of a round are asked for at once,
    // then the slots of the lengths the filter lets through, so the cache misses overlap
    // instead of following one another.
    constexpr std::size_t Round = 64;
    std::uint64_t mixed[Round];
    std::uint32_t candidates[Round];
    for (const std::uint32_t* from = lengths_.begin(); from != end;) {
        const std::size_t count = std::min<std::size_t>(Round, static_cast<std::size_t>(end - from));
        for (std::size_t i = 0; i < count; ++i) {
            mixed[i] = mix(a.hashes[from[i]], from[i]);
            __builtin_prefetch(&filter_[wordOf(mixed[i])]);
        }
        std::size_t n = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (!maybe(mixed[i])) continue;
            __builtin_prefetch(&slots_[slotOf(mixed[i])]);
            candidates[n++] = static_cast<std::uint32_t>(i);
        }
        for (std::size_t c = 0; c < n; ++c)
            if (auto found = find(a.text.data(), from[candidates[c]], mixed[candidates[c]])) return found;
        from += count;
    }
    return std::nullopt;
}

std::optional<std::string_view> TextSet::equalTo(const Address& a) const {
    if (count_ == 0) return std::nullopt;
    const std::size_t length = a.text.size();
    if (!hasLength(length)) return std::nullopt;
    const std::uint64_t m = mix(a.hashes[length], length);
    return maybe(m) ? find(a.text.data(), length, m) : std::nullopt;
}

std::optional<std::string_view> TextSet::equalToFirst(const Address& a, const std::uint32_t* starts,
                                                      std::size_t count, std::size_t end) const {
    if (count_ == 0 || end > a.text.size()) return std::nullopt;
    std::uint64_t mixed[MostStarts];
    std::uint32_t candidates[MostStarts];
    std::size_t n = 0;
    count = std::min(count, MostStarts);
    for (std::size_t i = 0; i < count; ++i) {
        if (starts[i] > end || !hasLength(end - starts[i])) continue;
        mixed[n] = mix(a.hashOfPart(starts[i], end), end - starts[i]);
        __builtin_prefetch(&filter_[wordOf(mixed[n])]);
        candidates[n++] = static_cast<std::uint32_t>(i);
    }
    std::size_t kept = 0;
    for (std::size_t c = 0; c < n; ++c) {
        if (!maybe(mixed[c])) continue;
        __builtin_prefetch(&slots_[slotOf(mixed[c])]);
        mixed[kept] = mixed[c];
        candidates[kept++] = candidates[c];
    }
    for (std::size_t c = 0; c < kept; ++c) {
        const std::uint32_t from = starts[candidates[c]];
        if (auto found = find(a.text.data() + from, end - from, mixed[c])) return found;
    }
    return std::nullopt;
}

std::string_view domainName(std::string_view entryText) {
    entryText = withoutFragment(entryText);
    while (!entryText.empty() && entryText.front() == '.') entryText.remove_prefix(1);
    while (!entryText.empty() && entryText.back() == '.') entryText.remove_suffix(1);
    return entryText;
}

namespace {

// An address, not a name: no top-level domain is a number, so a host whose last label
// is one has no hosts below it.
bool isIpv4(std::string_view host) {
    const std::size_t dot = host.rfind('.');
    const std::string_view last = dot == std::string_view::npos ? host : host.substr(dot + 1);
    return !last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

bool hostInDomain(std::string_view host, std::string_view domain) {
    if (domain.empty() || host.size() < domain.size()) return false;
    if (host.size() == domain.size()) return host == domain;
    return !isIpv4(host) && host[host.size() - domain.size() - 1] == '.' &&
           host.substr(host.size() - domain.size()) == domain;
}

HostLookup::HostLookup(const TextSet::Address& address, std::string_view host) : address_(address) {
    const std::string_view t = address.text;
    if (host.empty() || host.data() < t.data() || host.data() + host.size() > t.data() + t.size()) return;
    const auto begin = static_cast<std::size_t>(host.data() - t.data());
    end_ = begin + host.size();
    std::uint32_t* starts = inline_;
    const std::size_t dots = isIpv4(host) ? 0 : static_cast<std::size_t>(std::count(host.begin(), host.end(), '.'));
    if (dots + 1 > std::size(inline_)) {
        more_.resize(dots + 1);
        starts = more_.data();
        starts_ = starts;
    }
    starts[count_++] = static_cast<std::uint32_t>(begin);
    if (dots == 0) return;
    for (std::size_t at = 0; at < host.size(); ++at)
        if (host[at] == '.') starts[count_++] = static_cast<std::uint32_t>(begin + at + 1);
}

std::optional<std::string_view> HostLookup::in(const TextSet& set) const {
    if (count_ == 0 || set.empty()) return std::nullopt;
    // In rounds of the most one look-up takes, the longest names first.
    for (std::size_t from = 0; from < count_; from += TextSet::MostStarts)
        if (auto found = set.equalToFirst(address_, starts_ + from, std::min(count_ - from, TextSet::MostStarts), end_))
            return found;
    return std::nullopt;
}

void LinkIndex::build(const TextList& predefined, const TextList& main) {
    std::vector<std::uint32_t> kind1, kind3, kind4, kind2, kind5;
    domains_.clear();
    for (std::uint32_t i = 0; i < predefined.size(); ++i) {
        const std::string_view e = predefined[i];
        if (e.empty()) continue;
        if (e[0] == '1') {
            kind1.push_back(i);
        } else if (e[0] == '3') {
            kind3.push_back(i);
        } else if (e[0] == '4') {
            kind4.push_back(i);
        } else if (e[0] == '2' || e[0] == '5') {
            const std::string_view name = domainName(e.substr(1));
            if (name.empty()) continue;  // no domain: no effect
            (e[0] == '2' ? kind2 : kind5).push_back(static_cast<std::uint32_t>(domains_.size()));
            domains_.push_back(std::string(name));
        }
    }
    // The kind code is not part of what is compared.
    blockPrefixes.build(predefined, kind1, 1);
    blockExact.build(predefined, kind3, 1);
    allowPrefixes.build(predefined, kind4, 1);
    blockDomains.build(domains_, kind2, 0);
    allowDomains.build(domains_, kind5, 0);
    mainUpper_.clear();
    std::vector<std::uint32_t> all;
    for (std::string_view e : main) {
        all.push_back(static_cast<std::uint32_t>(all.size()));
        mainUpper_.push_back(upperAZ(std::string(withoutFragment(e))));
    }
    mainList.build(mainUpper_, all, 0);
}

void LinkIndex::save(ImageWriter& out) const {
    blockPrefixes.save(out);
    blockExact.save(out);
    allowPrefixes.save(out);
    domains_.save(out);
    blockDomains.save(out);
    allowDomains.save(out);
    mainUpper_.save(out);
    mainList.save(out);
}

bool LinkIndex::load(ImageReader& in, const TextList& predefined) {
    return blockPrefixes.load(in, predefined) && blockExact.load(in, predefined) &&
           allowPrefixes.load(in, predefined) && domains_.load(in) && blockDomains.load(in, domains_) &&
           allowDomains.load(in, domains_) && mainUpper_.load(in) && mainList.load(in, mainUpper_);
}

void LinkIndex::rebind(const TextList& predefined) {
    blockPrefixes.rebind(predefined);
    blockExact.rebind(predefined);
    allowPrefixes.rebind(predefined);
    blockDomains.rebind(domains_);
    allowDomains.rebind(domains_);
    mainList.rebind(mainUpper_);
}
