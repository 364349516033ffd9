#include "tools/builder.h"

#include "platform/errors.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>

namespace {

unsigned char upper(char c) { return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); }

// The browser's order: bytes compared upper-cased (a to z only). Entries share long
// beginnings, so equal bytes are passed over before any is upper-cased.
int compareUpper(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0;; ++i) {
        i = static_cast<std::size_t>(std::mismatch(a.begin() + i, a.begin() + n, b.begin() + i).first - a.begin());
        if (i == n) break;
        const unsigned char x = upper(a[i]), y = upper(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

void ListBuilder::add(std::string_view entry) {
    if (entry.size() > BlockSize)
        throw Exception("A list entry is longer than " + std::to_string(BlockSize) + " bytes");
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
    // The first 16 bytes of each entry upper-cased, as two numbers that order as the bytes
    // do: most comparisons end there, without reaching for the entries scattered in memory.
    struct Keyed {
        std::uint64_t high, low;
        Ref ref;
    };
    const auto keyOf = [](std::string_view e, std::size_t from) {
        std::uint64_t k = 0;
        for (std::size_t i = from; i < from + 8; ++i) k = k << 8 | (i < e.size() ? upper(e[i]) : 0);
        return k;
    };
    std::vector<Keyed> sorted;
    sorted.reserve(refs_.size());
    for (const Ref& r : refs_) sorted.push_back({keyOf(text(r), 0), keyOf(text(r), 8), r});
    std::vector<Ref>().swap(refs_);
    // Entries hold no zero byte, so one of 16 bytes or fewer is decided by its key and length.
    const auto order = [this](const Keyed& a, const Keyed& b) {
        if (a.high != b.high) return a.high < b.high ? -1 : 1;
        if (a.low != b.low) return a.low < b.low ? -1 : 1;
        if (a.ref.length <= 16 || b.ref.length <= 16)
            return a.ref.length == b.ref.length ? 0 : (a.ref.length < b.ref.length ? -1 : 1);
        return compareUpper(text(a.ref).substr(16), text(b.ref).substr(16));
    };
    // Of entries alike but for letter case the first one read stays: entries lie in the
    // blocks in the order they came, so their places break ties without a second buffer.
    std::sort(sorted.begin(), sorted.end(), [&](const Keyed& a, const Keyed& b) {
        const int o = order(a, b);
        return o < 0 || (o == 0 && a.ref.at < b.ref.at);
    });
    std::size_t size = 0;
    for (std::size_t i = 0; i < sorted.size(); ++i)
        if (i == 0 || order(sorted[i - 1], sorted[i]) != 0) size += sorted[i].ref.length + 2;
    for (const std::string& m : main_) size += m.size() + 2;
    std::string out;
    out.reserve(size + 40);
    out += "starturls\r\n";
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (i > 0 && order(sorted[i - 1], sorted[i]) == 0) {
            ++counts_.duplicates;
            continue;
        }
        const std::string_view e = text(sorted[i].ref);
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
