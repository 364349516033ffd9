#pragma once
// The two link lists read from data.dat: the predefined list (kind code + upper-case
// address or prefix, kept in ascending order) and the main list (upper-case full
// addresses, in file order), with the index approval asks, rebuilt at each change.
#include "data/linkindex.h"
#include "data/textlist.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class LinkLists {
public:
    LinkLists() = default;
    LinkLists(const LinkLists& other);
    LinkLists& operator=(const LinkLists& other);
    LinkLists(LinkLists&& other) noexcept;
    LinkLists& operator=(LinkLists&& other) noexcept;

    const TextList& predefined() const { return predefined_; }
    const TextList& main() const { return main_; }
    const LinkIndex& index() const { return index_; }

    bool empty() const { return predefined_.empty() && main_.empty(); }
    // Differs after every change, across all lists: what a remembered decision was made on.
    std::uint64_t revision() const { return revision_; }
    void clear();
    // Adds entries: the predefined ones into their order, the main ones at the end.
    void append(TextList predefined, const TextList& main);

    void save(ImageWriter& out) const;
    // False (and the lists empty) when the image does not hold well-formed lists.
    bool load(ImageReader& in);

private:
    TextList predefined_;
    TextList main_;
    LinkIndex index_;
    std::uint64_t revision_ = nextRevision();

    static std::uint64_t nextRevision();
};

// Where the head of an HTTP answer ends: just after its first empty line (a line ends at
// LF, with an optional CR before it); npos while no empty line has come.
std::size_t headEnd(std::string_view text);

// The list text of a data.dat. A stored answer begins with "HTTP/": its status line and
// headers are never list lines, and a head that never ends or holds a zero byte is a
// damaged answer with no list at all. A file without a head is list text whole. The
// text ends at its first zero byte.
std::string_view listText(std::string_view dataFile);

// Appends the entries of the "starturls" / "mainurls" / "endurls" sections of a data.dat
// (its list text). Any byte below 32 ends a line; a last line that no such byte ends is
// dropped.
void scanDataText(std::string_view text, LinkLists& lists);

// Empties the work text, reads program directory + "data.dat" into it (up to the first
// zero byte) and appends its entries. Raises "Cannot open file <path>" before anything
// is added. A large list read into empty lists comes from, or is saved to, the index
// file beside data.dat.
void readDataFile(const std::string& programDir, std::string& workText, LinkLists& lists);
// The same without a work text.
void readDataFile(const std::string& programDir, LinkLists& lists);
