// wenlow-check: how the browser would decide about addresses, for a program folder.
#include "approval/gate.h"
#include "approval/safesearch.h"
#include "approval/urlok.h"
#include "data/files.h"
#include "data/linklists.h"
#include "data/setupfiles.h"
#include "records/desk.h"
#include "tools/common.h"

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

const char* const Usage =
    "usage: wenlow-check [--dir DIR] [--site N] [--explain] [--flush] [ADDRESS ...]\n"
    "       wenlow-check [--dir DIR] --records\n"
    "Prints, for each address (the arguments, or one a line on standard input), what the\n"
    "left pane and the right pane would do with it: allow or refuse.\n"
    "  --dir DIR   the program folder (default: the folder of this program)\n"
    "  --site N    the current site, 0 to 9 (default: the first site with an address)\n"
    "  --explain   add a tab and the rule that decided, and another and the safe form\n"
    "              of a search when safe search is on\n"
    "  --flush     write each line out at once\n"
    "  --records   the children's waiting requests, then what was refused, by site,\n"
    "              newest first (from the journal, or the folder's records.log)\n";

// What a parent reads at a terminal: the same summary as the setup window's page.
int printRecords(const std::string& dir) {
    try {
        const std::string folder = programFolder(dir);
        Records records(openRecordStore(folder));
        const RecordSummary summary = summarise(records.recent(RequestDesk::ReadLimit));
        const std::string text = summaryText(summary);
        std::fputs(text.empty() ? "nothing was refused or asked for\n" : text.c_str(), stdout);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wenlow-check: %s\n", e.what());
        return 2;
    }
}

struct Checker {
    PlainSettings settings;
    LinkLists lists;
    std::string programDir;
    int site = 0;
    bool explain = false;

    // Decides on the address as the engine would fetch it, and prints it as given.
    void check(const std::string& given, std::string& out) const {
        // The browser asks for a search in its safe form instead, and that is the address decided.
        const EngineAddress asked(given);
        const SafeForm safe = settings.safeSearch() && asked.readable() ? safeSearchForm(asked.text()) : SafeForm{};
        std::optional<EngineAddress> safer;
        if (!safe.address.empty()) safer.emplace(safe.address);
        const EngineAddress& address = safer ? *safer : asked;
        if (!explain) {
            // Without explanations the decisions alone: no rule texts are built.
            const bool general = requestAllowed(address, RequestKind::Navigation, settings, lists, programDir);
            const bool left = general && MainUrlOk(address.text(), site, settings, lists);
            out += left ? "allow " : "refuse ";
            out += general ? "allow " : "refuse ";
            out += given;
            out += '\n';
            return;
        }
        const Verdict general = requestVerdict(address, RequestKind::Navigation, settings, lists, programDir);
        Verdict left = general;
        if (general.ok) {
            const Verdict verified = mainUrlOkVerdict(address.text(), site, settings, lists);
            if (!verified.ok || verified.rule == "main list") left = verified;
        }
        out += left.ok ? "allow " : "refuse ";
        out += general.ok ? "allow " : "refuse ";
        out += given;
        out += "\t" + left.rule;
        if (!safe.address.empty()) out += "\tsafe search: " + safe.address;
        if (safe.header) out += std::string("\tsafe search: ") + safe.header + ": " + safe.value;
        out += '\n';
    }
};

// Addresses ended by line ends (a last one may lack it), decided on every core: each
// worker takes a run of whole lines, and the answers are written in input order.
void checkLines(const Checker& checker, std::string_view lines, std::vector<std::string>& outs) {
    std::vector<std::string_view> runs;
    for (std::size_t w = 0; w < outs.size() && !lines.empty(); ++w) {
        const std::size_t share = lines.size() / (outs.size() - w);
        std::size_t end = share == 0 ? std::string_view::npos : lines.find('\n', share - 1);
        end = end == std::string_view::npos ? lines.size() : end + 1;
        runs.push_back(lines.substr(0, end));
        lines.remove_prefix(end);
    }
    auto work = [&](std::size_t r) {
        std::string& out = outs[r];
        out.clear();
        std::string address;
        for (std::string_view rest = runs[r]; !rest.empty();) {
            const std::size_t eol = std::min(rest.find('\n'), rest.size());
            address.assign(rest.substr(0, eol));
            rest.remove_prefix(std::min(eol + 1, rest.size()));
            if (!address.empty() && address.back() == '\r') address.pop_back();
            checker.check(address, out);
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t r = 1; r < runs.size(); ++r) threads.emplace_back(work, r);
    if (!runs.empty()) work(0);
    for (auto& t : threads) t.join();
    for (std::size_t r = 0; r < runs.size(); ++r) std::fwrite(outs[r].data(), 1, outs[r].size(), stdout);
}

void checkStandardInput(const Checker& checker) {
    // Blocks of a megabyte: the buffers are touched once and then reused warm.
    constexpr std::size_t Block = std::size_t(1) << 20;
    std::vector<std::string> outs(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    std::string pending;
    for (bool more = true; more;) {
        const std::size_t old = pending.size();
        pending.resize(old + Block);
        const std::size_t n = std::fread(pending.data() + old, 1, Block, stdin);
        pending.resize(old + n);
        more = n == Block;
        // Whole lines now; the part after the last line end waits for the next block.
        const std::size_t ready = more ? pending.rfind('\n') + 1 : pending.size();
        checkLines(checker, std::string_view(pending).substr(0, ready), outs);
        pending.erase(0, ready);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    int site = -1;
    bool explain = false;
    bool flush = false;
    bool records = false;
    std::vector<std::string> addresses;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (arg == "--site" && i + 1 < argc) {
            if (!parseSite(argv[++i], site)) return usageError("--site takes a number from 0 to 9", Usage);
        } else if (arg == "--explain") {
            explain = true;
        } else if (arg == "--flush") {
            flush = true;
        } else if (arg == "--records") {
            records = true;
        } else if (arg.rfind("--", 0) == 0) {
            return usageError("unknown option " + arg, Usage);
        } else {
            addresses.push_back(arg);
        }
    }

    if (records) return printRecords(dir);
    Checker checker;
    checker.explain = explain;
    try {
        const std::string folder = programFolder(dir);
        ProgramSettings loaded = loadProgramSettings(folder);
        // The engine names files by their full path.
        std::error_code ec;
        checker.programDir = std::filesystem::weakly_canonical(std::filesystem::absolute(folder), ec).string();
        if (checker.programDir.empty() || checker.programDir.back() != '/') checker.programDir += '/';
        checker.settings = std::move(loaded.settings);
        checker.lists = std::move(loaded.lists);
        checker.site = site >= 0 ? site : loaded.firstSite;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wenlow-check: %s\n", e.what());
        return 2;
    }

    std::string out;
    auto answer = [&](const std::string& address) {
        checker.check(address, out);
        if (flush || out.size() > 1 << 16) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            if (flush) std::fflush(stdout);
            out.clear();
        }
    };
    if (!addresses.empty()) {
        for (const auto& a : addresses) answer(a);
    } else if (!flush) {
        checkStandardInput(checker);
    } else {
        std::ios::sync_with_stdio(false);
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            answer(line);
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
