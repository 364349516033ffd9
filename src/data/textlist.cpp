#include "data/textlist.h"

#include "data/image.h"

#include <algorithm>
#include <cstring>

TextList::TextList(std::initializer_list<std::string_view> texts) {
    for (std::string_view t : texts) push_back(t);
}

TextList::TextList(const std::vector<std::string>& texts) {
    for (const std::string& t : texts) push_back(t);
}

bool TextList::operator==(const TextList& other) const {
    if (other.size() != size()) return false;
    for (std::size_t i = 0; i < size(); ++i)
        if ((*this)[i] != other[i]) return false;
    return true;
}

void TextList::reserve(std::size_t texts, std::size_t chars) {
    refs_.reserve(texts);
    chars_.reserve(chars);
}

void TextList::clear() {
    chars_.clear();
    refs_.clear();
}

void TextList::push_back(std::string_view text) {
    refs_.push_back({static_cast<std::uint32_t>(chars_.size()), static_cast<std::uint32_t>(text.size())});
    chars_.append(text.data(), text.data() + text.size());
}

namespace {

// Sixteen bytes from where the texts begin to differ, as two big-endian keys, decide
// nearly every comparison without touching the texts themselves.
struct SortKey {
    std::uint64_t first;
    std::uint64_t second;
    std::uint32_t offset, length;
};

std::uint64_t keyAt(std::string_view s, std::size_t from) {
    unsigned char bytes[8] = {};
    if (from < s.size()) std::memcpy(bytes, s.data() + from, std::min<std::size_t>(8, s.size() - from));
    std::uint64_t k;
    std::memcpy(&k, bytes, 8);
    return __builtin_bswap64(k);
}

}  // namespace

void TextList::sort() {
    if (refs_.size() < 2) return;
    // Lists often come in order already (wenlow-lists writes them so): one look decides.
    bool ordered = true;
    for (std::size_t i = 1; i < refs_.size() && ordered; ++i) ordered = !((*this)[i] < (*this)[i - 1]);
    if (ordered) return;
    // The bytes every text shares at the front say nothing about the order.
    std::size_t common = (*this)[0].size();
    for (std::size_t i = 1; i < refs_.size() && common > 0; ++i) {
        const std::string_view t = (*this)[i], first = (*this)[0];
        std::size_t k = 0;
        while (k < common && k < t.size() && t[k] == first[k]) ++k;
        common = k;
    }
    std::vector<SortKey, HugeAllocator<SortKey>> keys;
    keys.reserve(refs_.size());
    for (std::uint32_t i = 0; i < refs_.size(); ++i) {
        const std::string_view t = (*this)[i];
        keys.push_back({keyAt(t, common), keyAt(t, common + 8), refs_[i].offset, refs_[i].length});
    }
    std::sort(keys.begin(), keys.end(), [this](const SortKey& a, const SortKey& b) {
        if (a.first != b.first) return a.first < b.first;
        if (a.second != b.second) return a.second < b.second;
        return std::string_view(chars_.data() + a.offset, a.length) < std::string_view(chars_.data() + b.offset, b.length);
    });
    Ref* refs = refs_.edit();
    for (std::size_t i = 0; i < keys.size(); ++i) refs[i] = {keys[i].offset, keys[i].length};
}

void TextList::append(const TextList& added) {
    const auto base = static_cast<std::uint32_t>(chars_.size());
    chars_.append(added.chars_.begin(), added.chars_.end());
    refs_.reserve(refs_.size() + added.refs_.size());
    for (Ref r : added.refs_) refs_.push_back({r.offset + base, r.length});
}

void TextList::mergeSorted(TextList added) {
    // This list is in order unless it was read from a damaged file; a merge needs both.
    sort();
    added.sort();
    if (refs_.empty()) {
        *this = std::move(added);
        return;
    }
    const auto middle = static_cast<std::ptrdiff_t>(refs_.size());
    append(added);
    Ref* refs = refs_.edit();
    std::inplace_merge(refs, refs + middle, refs + refs_.size(), [this](Ref a, Ref b) {
        return std::string_view(chars_.data() + a.offset, a.length) < std::string_view(chars_.data() + b.offset, b.length);
    });
}

std::vector<std::string> TextList::strings() const {
    std::vector<std::string> out;
    out.reserve(size());
    for (std::string_view t : *this) out.emplace_back(t);
    return out;
}

bool TextList::operator==(const std::vector<std::string>& other) const {
    if (other.size() != size()) return false;
    for (std::size_t i = 0; i < size(); ++i)
        if ((*this)[i] != other[i]) return false;
    return true;
}

void TextList::save(ImageWriter& out) const {
    out.put(chars_);
    out.put(refs_);
}

bool TextList::load(ImageReader& in) {
    chars_ = in.get<char>();
    refs_ = in.get<Ref>();
    for (const Ref r : refs_)
        if (std::uint64_t(r.offset) + r.length > chars_.size()) in.fail();
    if (!in.ok()) clear();
    return in.ok();
}
