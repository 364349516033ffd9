#pragma once
// How a line of a published list becomes entries of data.dat, in each format lists come
// in: hosts files, domain lists, address lists and the network rules of adblock-style
// lists. A line that cannot be honoured whole gives no entry at all, and is counted.
#include "data/sources.h"

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

struct LineCounts {
    std::size_t notNames = 0;     // lines that name no host or address
    std::size_t withOptions = 0;  // adblock rules with "$" options
    std::size_t cosmetic = 0;     // adblock element-hiding rules
    std::size_t unsupported = 0;  // other adblock rules: wildcards, regular expressions, partial addresses

    std::size_t skipped() const { return notNames + withOptions + cosmetic + unsupported; }
    LineCounts& operator+=(const LineCounts& o);
};

// An entry: the kind code, then the domain or address in the form addresses are
// compared in.
using EntrySink = std::function<void(std::string_view entry)>;

// Reads one line (its line end taken off) of a list in a format. A "block" list gives
// "2" (domain) and "1" (prefix) or "3" (exact) entries, an "allow" list "5" and "4"
// entries; adblock exceptions ("@@") in a block list approve.
void readListLine(ListFormat format, ListUse use, std::string_view line, const EntrySink& add, LineCounts& counts);

// Each line of a file, its line end (LF, CR LF or CR) taken off, read in blocks: a list
// of any size in little memory. A line longer than MaxLineLength is no list line: it is
// left out and counted. False when reading fails.
inline constexpr std::size_t MaxLineLength = 64 * 1024;
bool eachLine(std::FILE* in, const std::function<void(std::string_view line)>& take, std::size_t& overlong);

// The domain entry text for a host name or an IP address, or empty when it is neither.
std::string domainEntry(std::string_view name);
// The address entry text ("http://" form) for an address with or without its scheme, or
// empty when it has no host.
std::string addressEntry(std::string_view address);
