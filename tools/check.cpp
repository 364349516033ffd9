// wenlow-check: how the browser would decide about addresses, for a program folder.
#include "approval/urlok.h"
#include "data/files.h"
#include "data/linklists.h"
#include "data/setupfiles.h"
#include "tools/common.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

const char* const Usage =
    "usage: wenlow-check [--dir DIR] [--site N] [--explain] [--flush] [ADDRESS ...]\n"
    "Prints, for each address (the arguments, or one a line on standard input), what the\n"
    "left pane and the right pane would do with it: allow or refuse.\n"
    "  --dir DIR   the program folder (default: the folder of this program)\n"
    "  --site N    the current site, 0 to 9 (default: the first site with an address)\n"
    "  --explain   add a tab and the rule that decided\n"
    "  --flush     write each line out at once\n";

struct Checker {
    PlainSettings settings;
    LinkLists lists;
    int site = 0;
    bool explain = false;

    void check(const std::string& address, std::string& out) const {
        if (!explain) {
            // Without explanations the decisions alone: no rule texts are built.
            const bool general = urlok(address, settings, lists);
            const bool left = general && MainUrlOk(address, site, settings, lists);
            out += left ? "allow " : "refuse ";
            out += general ? "allow " : "refuse ";
            out += address;
            out += '\n';
            return;
        }
        const Verdict general = urlokVerdict(address, settings, lists);
        Verdict left = general;
        if (general.ok) {
            const Verdict verified = mainUrlOkVerdict(address, site, settings, lists);
            if (!verified.ok || verified.rule == "main list") left = verified;
        }
        out += left.ok ? "allow " : "refuse ";
        out += general.ok ? "allow " : "refuse ";
        out += address;
        if (explain) out += "\t" + left.rule;
        out += '\n';
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    int site = -1;
    bool explain = false;
    bool flush = false;
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
        } else if (arg.rfind("--", 0) == 0) {
            return usageError("unknown option " + arg, Usage);
        } else {
            addresses.push_back(arg);
        }
    }

    Checker checker;
    checker.explain = explain;
    try {
        const ProgramSettings loaded = loadProgramSettings(programFolder(dir));
        checker.settings = loaded.settings;
        checker.lists = loaded.lists;
        checker.site = site >= 0 ? site : loaded.firstSite;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wenlow-check: %s\n", e.what());
        return 2;
    }

    std::string out;
    auto emit = [&](const std::string& address) {
        checker.check(address, out);
        if (flush || out.size() > 1 << 16) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            if (flush) std::fflush(stdout);
            out.clear();
        }
    };
    if (!addresses.empty()) {
        for (const auto& a : addresses) emit(a);
    } else {
        std::ios::sync_with_stdio(false);
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            emit(line);
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
