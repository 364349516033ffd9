#pragma once
// sites.dat: the parent's approved sites and whole-site blocks, whether only the approved
// sites open, and whether searches are made safe. A file of its own, so that older
// versions, which do not know it, read every other file as before. One line each, ended
// by CR LF:
//
//   only-approved 0          "0" off; any other value on (a damaged line never opens more)
//   safe-search 1
//   allow-site kids.example  the site and every host below it
//   allow-address http://learn.example/maths   the address and everything under it
//   block-site chat.example  the site and every host below it
//
// Lines it does not know are kept as they stand and written back (a later version's).
// A missing file means: every site but the blocked ones, no safe search, no entries.
#include <string>
#include <string_view>
#include <vector>

// What a parent can add to their own lists. Single pages they block are kept in
// pardata.dat, as older versions read them; the other kinds here.
enum class ParentKind { ApproveSite, ApproveAddress, BlockSite, BlockPage };

struct SiteEntry {
    ParentKind kind = ParentKind::ApproveSite;
    std::string text;  // a host name, or an address in the engine's form
    bool operator==(const SiteEntry&) const = default;
};

struct SitesValues {
    bool onlyApproved = false;
    bool safeSearch = false;
    std::vector<SiteEntry> entries;      // in file order, never a BlockPage
    std::vector<std::string> otherLines; // not understood here; written back unchanged
};

inline constexpr const char* SitesFileName = "sites.dat";

SitesValues parseSites(std::string_view text);
std::string sitesFileBytes(const SitesValues& v);
// An entry's line, as the file holds it ("block-site chat.example").
std::string sitesLine(const SiteEntry& e);
// A missing file gives the defaults; one that is there but cannot be read raises
// "Cannot open file <path>".
SitesValues readSitesFile(const std::string& programDir);
// Safe write, no backup (like pardata.dat, it is written at every change of a list).
void writeSitesFile(const std::string& programDir, const SitesValues& v);
