#include "data/sources.h"

#include "data/files.h"
#include "platform/errors.h"
#include "platform/text.h"

#include <QCryptographicHash>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

constexpr std::array<const char*, 4> FormatNames = {"hosts", "domains", "urls", "adblock"};
constexpr const char* StateFileName = "state.dat";

std::vector<std::string_view> fields(std::string_view line, char separator) {
    std::vector<std::string_view> out;
    for (std::size_t start = 0; start <= line.size();) {
        std::size_t end = line.find(separator, start);
        if (end == std::string_view::npos) end = line.size();
        out.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (true) {
        i = line.find_first_not_of(" \t", i);
        if (i == std::string_view::npos) return out;
        const std::size_t end = std::min(line.find_first_of(" \t", i), line.size());
        out.push_back(line.substr(i, end - i));
        i = end;
    }
}

// Text kept on one line of the state file: no tabs or line ends inside.
std::string oneLine(std::string_view text) {
    std::string s(text);
    std::replace_if(
        s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 32; }, ' ');
    return s;
}

}  // namespace

const char* formatName(ListFormat format) { return FormatNames[static_cast<std::size_t>(format)]; }

const char* useName(ListUse use) { return use == ListUse::Block ? "block" : "allow"; }

std::vector<ListSource> parseSources(std::string_view text) {
    std::vector<ListSource> sources;
    const std::vector<std::string> lines = splitList(std::string(text));
    for (std::size_t n = 0; n < lines.size(); ++n) {
        std::string_view line = lines[n];
        // "#" begins a comment at the start of a line or after a blank (an address may hold one).
        for (std::size_t hash = line.find('#'); hash != std::string_view::npos; hash = line.find('#', hash + 1)) {
            if (hash == 0 || line[hash - 1] == ' ' || line[hash - 1] == '\t') {
                line = line.substr(0, hash);
                break;
            }
        }
        const auto w = words(line);
        if (w.empty()) continue;
        const std::string where = std::string(SourcesFileName) + " line " + std::to_string(n + 1) + ": ";
        if (w.size() != 3) throw Exception(where + "a source is its address, its format and \"block\" or \"allow\"");
        ListSource s;
        s.address = std::string(w[0]);
        if (!equalsNoCase(s.address.substr(0, 8), "https://") || s.address.size() == 8)
            throw Exception(where + s.address + " is not an https address");
        const std::string format = lowerAZ(std::string(w[1]));
        const auto known = std::find(FormatNames.begin(), FormatNames.end(), format);
        if (known == FormatNames.end())
            throw Exception(where + "unknown format \"" + std::string(w[1]) + "\" (hosts, domains, urls or adblock)");
        s.format = static_cast<ListFormat>(known - FormatNames.begin());
        const std::string use = lowerAZ(std::string(w[2]));
        if (use != "block" && use != "allow")
            throw Exception(where + "\"" + std::string(w[2]) + "\" is neither \"block\" nor \"allow\"");
        s.use = use == "block" ? ListUse::Block : ListUse::Allow;
        if (std::any_of(sources.begin(), sources.end(), [&](const ListSource& o) { return o.address == s.address; }))
            throw Exception(where + s.address + " is named twice");
        sources.push_back(std::move(s));
    }
    return sources;
}

std::vector<ListSource> readSources(const std::string& programDir) {
    return parseSources(readFileBytes(programDir + SourcesFileName));
}

std::vector<SourceState> parseSourceStates(std::string_view text) {
    std::vector<SourceState> states;
    for (const std::string& line : splitList(std::string(text))) {
        const auto f = fields(line, '\t');
        if (f.size() != 6 || f[0].empty()) continue;  // not a line of ours
        SourceState s;
        s.address = std::string(f[0]);
        s.fetched = std::strtoll(std::string(f[1]).c_str(), nullptr, 10);
        s.tried = std::strtoll(std::string(f[2]).c_str(), nullptr, 10);
        s.etag = std::string(f[3]);
        s.lastModified = std::string(f[4]);
        s.problem = std::string(f[5]);
        states.push_back(std::move(s));
    }
    return states;
}

std::string sourceStatesText(const std::vector<SourceState>& states) {
    std::string out;
    for (const SourceState& s : states) {
        // A version name that would not survive the line is not kept: the next fetch is then whole.
        const bool plain = oneLine(s.etag) == s.etag && oneLine(s.lastModified) == s.lastModified;
        out += oneLine(s.address) + '\t' + std::to_string(s.fetched) + '\t' + std::to_string(s.tried) + '\t' +
               (plain ? s.etag : "") + '\t' + (plain ? s.lastModified : "") + '\t' + oneLine(s.problem) + "\r\n";
    }
    return out;
}

std::vector<SourceState> readSourceStates(const std::string& programDir) {
    const std::string path = sourcesFolder(programDir) + StateFileName;
    return fileExists(path) ? parseSourceStates(readFileBytes(path)) : std::vector<SourceState>{};
}

void writeSourceStates(const std::string& programDir, const std::vector<SourceState>& states) {
    writeFileSafely(sourcesFolder(programDir) + StateFileName, sourceStatesText(states));
}

const SourceState* stateOf(const std::vector<SourceState>& states, std::string_view address) {
    const auto it =
        std::find_if(states.begin(), states.end(), [&](const SourceState& s) { return s.address == address; });
    return it == states.end() ? nullptr : &*it;
}

std::string sourcesFolder(const std::string& programDir) { return programDir + SourcesFolderName + "/"; }

std::string copyFileOf(const std::string& programDir, std::string_view address) {
    const QByteArray hash = QCryptographicHash::hash(QByteArray(address.data(), static_cast<qsizetype>(address.size())),
                                                     QCryptographicHash::Sha256);
    return sourcesFolder(programDir) + hash.toHex().left(16).toStdString() + ".list";
}
