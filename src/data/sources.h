#pragma once
// The published lists a family builds data.dat from. sources.txt in the program folder
// names them, one a line: its https address, its format, and "block" or "allow":
//   https://lists.example.org/adult/domains  domains  block
// What was fetched from each is kept in the folder "sources" beside it: the last good
// copy of each list and one line of state per source (when it was fetched, what the
// server called that version, why the last attempt failed).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* SourcesFileName = "sources.txt";
inline constexpr const char* SourcesFolderName = "sources";

enum class ListFormat { Hosts, Domains, Urls, Adblock };
enum class ListUse { Block, Allow };

const char* formatName(ListFormat format);
const char* useName(ListUse use);

struct ListSource {
    std::string address;
    ListFormat format = ListFormat::Domains;
    ListUse use = ListUse::Block;
};

// The sources of a sources.txt text. Raises an Exception naming the line and what is
// wrong with it: a list left out silently would be a rule switched off.
std::vector<ListSource> parseSources(std::string_view text);
// The program folder's sources.txt; raises "Cannot open file <path>" when there is none.
std::vector<ListSource> readSources(const std::string& programDir);

struct SourceState {
    std::string address;
    std::int64_t fetched = 0;        // when the server last sent or confirmed the kept copy (Unix time); 0: never
    std::int64_t tried = 0;          // when it was last asked
    std::string problem;             // why that last attempt failed; empty when it did not
    std::string etag, lastModified;  // the server's names for the kept copy's version
};

std::vector<SourceState> parseSourceStates(std::string_view text);
std::string sourceStatesText(const std::vector<SourceState>& states);
// The folder's state lines; none when there is no state file yet.
std::vector<SourceState> readSourceStates(const std::string& programDir);
// Written safely; raises "Cannot create file <path>".
void writeSourceStates(const std::string& programDir, const std::vector<SourceState>& states);
// The state of an address among them, or nullptr.
const SourceState* stateOf(const std::vector<SourceState>& states, std::string_view address);

// The folder of the kept copies, with a trailing separator.
std::string sourcesFolder(const std::string& programDir);
// The file of the last good copy of the list at an address, named after the address
// (not its line), so that reordering sources.txt keeps every copy.
std::string copyFileOf(const std::string& programDir, std::string_view address);
