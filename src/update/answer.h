#pragma once
// What comes back from the list server: where it is asked for, whether an answer is a
// whole list, and the list made ready to take the place of the one in force.
#include "data/linklists.h"

#include <cstdint>
#include <string>
#include <string_view>

// Host and request path from the address typed for "URL Specified Below".
struct UpdateSource {
    std::string host;
    std::string path;
};
UpdateSource parseUpdateAddress(std::string text);

// Why an answer is not a whole list, or empty when it is one: it needs a status line
// with a 2xx status, the whole header block, a body of the length announced when one
// is, and the lines "starturls", "mainurls", "endurls" in that order.
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
    std::string text;  // what data.dat holds: the answer up to its first zero byte
};
// Reads the answer from `file`, checks it (and its signature when a key is given), cuts
// the file at its first zero byte, reads the lists and leaves the index file for them.
PreparedList prepareList(const std::string& file, const std::string& publicKey, const std::string& indexPath);
