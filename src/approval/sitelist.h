#pragma once
// The parent's approved sites and whole-site blocks (sites.dat), each kept beside the
// form it is compared in, so that no decision upper-cases an entry.
#include "data/sitesfile.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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

private:
    std::vector<SiteEntry> entries_;
    std::vector<std::string> compared_;
};
