#pragma once
// The parent's approved sites and whole-site blocks (sites.dat), each kept beside the
// form it is compared in, and found by name: a decision looks up each name its host is
// or lies below, whatever the number of entries.
#include "data/sitesfile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// sites.dat as the setup window stores it: an entry written by hand
// ("http://www.kids.example/", "*.kids.example", "kids.example:80", "café.example") as
// if typed there, and one that names no site kept as a remark ("# names no site: ...").
SitesValues storedForm(SitesValues v);

class SiteList {
public:
    SiteList() = default;
    explicit SiteList(std::vector<SiteEntry> entries);

    const std::vector<SiteEntry>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    const SiteEntry& operator[](std::size_t i) const { return entries_[i]; }
    bool contains(const SiteEntry& e) const;
    bool approvesAny() const;  // holds an entry that approves something

    void add(SiteEntry e);
    void remove(std::size_t i);

    // A site entry: its host name, upper case, without dots at either end. An address
    // entry: the address as decisions compare it (see normalisedAddress).
    std::string_view compared(std::size_t i) const { return compared_[i]; }
    // The entries a name leads to: site entries of that name, address entries on that
    // host (upper case). Null when there are none.
    const std::vector<std::uint32_t>* named(std::string_view name) const;

private:
    void index(std::uint32_t i);

    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    std::vector<SiteEntry> entries_;
    std::vector<std::string> compared_;
    std::unordered_map<std::string, std::vector<std::uint32_t>, Hash, std::equal_to<>> byName_;
};
