#include "tools/builder.h"

#include "platform/errors.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>

namespace {

unsigned char upper(char c) {
    return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// The browser's order: bytes compared upper-cased (a to z only).
int compareUpper(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = upper(a[i]), y = upper(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

void ListBuilder::add(std::string_view entry) {
    if (entry.size() > BlockSize) throw Exception("A list entry is longer than " + std::to_string(BlockSize) + " bytes");
    if (used_ + entry.size() > BlockSize) {
        if (blocks_.size() >= UINT32_MAX / BlockSize) throw Exception("The list is larger than 4 GiB");
        blocks_.push_back(std::make_unique<char[]>(BlockSize));
        used_ = 0;
    }
    std::memcpy(blocks_.back().get() + used_, entry.data(), entry.size());
    refs_.push_back({static_cast<std::uint32_t>((blocks_.size() - 1) * BlockSize + used_),
                     static_cast<std::uint32_t>(entry.size())});
    used_ += entry.size();
}

void ListBuilder::approve(std::string_view address) {
    std::string a(address);
    if (!equalsNoCase(a.substr(0, 7), "http://") && !equalsNoCase(a.substr(0, 8), "https://")) a = "http://" + a;
    a = stripTrailingSlashes(a);
    if (!seenMain_.insert(upperAZ(a)).second) {
        ++counts_.duplicates;
        return;
    }
    ++counts_.approved;
    main_.push_back(std::move(a));
}

void ListBuilder::undo(const Mark& m) {
    refs_.resize(m.entries);
    blocks_.resize(m.blocks);
    used_ = m.used;
}

std::string ListBuilder::take() {
    // Stable: of entries alike but for letter case, the first one read stays.
    std::stable_sort(refs_.begin(), refs_.end(),
                     [this](const Ref& a, const Ref& b) { return compareUpper(text(a), text(b)) < 0; });
    std::size_t size = 0;
    const Ref* last = nullptr;
    for (const Ref& r : refs_) {
        if (last && compareUpper(text(*last), text(r)) == 0) continue;
        size += r.length + 2;
        last = &r;
    }
    for (const std::string& m : main_) size += m.size() + 2;
    std::string out;
    out.reserve(size + 40);
    out += "starturls\r\n";
    last = nullptr;
    for (const Ref& r : refs_) {
        const std::string_view e = text(r);
        if (last && compareUpper(text(*last), e) == 0) {
            ++counts_.duplicates;
            continue;
        }
        last = &r;
        (e[0] == '4' || e[0] == '5' ? counts_.allowed : counts_.blocked)++;
        out += e;
        out += "\r\n";
    }
    out += "mainurls\r\n";
    for (const std::string& m : main_) out += m + "\r\n";
    out += "endurls\r\n";
    const BuildCounts counts = counts_;
    *this = ListBuilder();
    counts_ = counts;
    return out;
}
