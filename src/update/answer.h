#pragma once
// What comes back from the list server: where it is asked for, whether an answer is a
// whole list, and the list made ready to take the place of the one in force.
#include "data/linklists.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Host and request path from the address typed for "URL Specified Below".
struct UpdateSource {
    std::string host;
    std::string path;
};
UpdateSource parseUpdateAddress(std::string text);
// Why a typed address cannot be fetched as lists are (plain HTTP/1.0, port 80, IPv4),
// said so that a parent knows what to type instead; empty when it can.
std::string updateAddressProblem(const std::string& typed);

// A longer head is refused: a real server's is a few hundred bytes, and the stored list's
// number is looked for within this many bytes of data.dat.
inline constexpr std::size_t MaxHeadBytes = 65536;

// Why an answer is not a whole list, or empty when it is one: it needs a status line
// with a 2xx status, the whole header block (no zero byte, no Transfer-Encoding, at most
// one Content-Length), a body of the length announced when one is, and the lines
// "starturls", "mainurls", "endurls" in that order. A moved list names its new address.
std::string answerProblem(std::string_view answer);
// The body of an answer, after its header block (all of it when there is none).
std::string_view answerBody(std::string_view answer);
// The length of the whole answer its headers announce, once the header block is in;
// -1 when it is not known (yet).
std::int64_t announcedLength(std::string_view head);

// A downloaded answer checked and read into lists, ready to replace the rules in force;
// made off the GUI thread. `problem` says why it must not be stored.
struct PreparedList {
    std::string problem;
    LinkLists lists;
    std::string text;                     // what data.dat holds: the answer up to its first zero byte
    std::optional<std::uint64_t> number;  // a signed list's number, when it has one
};
// Reads the answer from `file`, checks it (and, when a key is given, its signature and
// that it is not older than the data.dat of the program folder), cuts the file at its
// first zero byte, reads the lists and leaves the index file for them beside data.dat.
PreparedList prepareList(const std::string& file, const std::string& publicKey, const std::string& programDir);

// Why a signed list of this number must not replace the data.dat at `dataFile` (see
// orderProblem); empty when it may, or when there is no data.dat.
std::string storedOrderProblem(const std::string& dataFile, const std::string& publicKey,
                               std::optional<std::uint64_t> number);
