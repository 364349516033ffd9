// wenlow-lists: a data.dat from common blocklist formats.
#include "data/files.h"
#include "platform/text.h"
#include "tools/common.h"
#include "update/signature.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "usage: wenlow-lists [--hosts FILE] [--domains FILE] [--urls FILE] [--allow FILE]\n"
    "                    [--main FILE] [--sign SECRET] [--out DIR]\n"
    "       wenlow-lists --keygen DIR\n"
    "Writes a data.dat for Wenlow Explorer from blocklists. FILE \"-\" is standard input.\n"
    "  --hosts FILE    hosts-file lines \"0.0.0.0 name\" or \"127.0.0.1 name\": each name and every\n"
    "                  host below it is blocked (a \"2\" entry)\n"
    "  --domains FILE  one domain a line (also squidGuard \"domains\"): the domain and every host\n"
    "                  below it are blocked (a \"2\" entry)\n"
    "  --urls FILE     one address a line (squidGuard \"urls\", host/path): blocked from there on\n"
    "  --allow FILE    domains allowed, with every host below them, even when a block entry\n"
    "                  matches them (a \"5\" entry)\n"
    "  --main FILE     approved addresses for the verification of left-pane links\n"
    "  --sign SECRET   sign the list with the secret key in file SECRET (as --keygen writes it)\n"
    "  --keygen DIR    write a new key pair: DIR/update.key, the public key a parent puts in the\n"
    "                  program folder, and DIR/update.secret, readable by its owner only\n"
    "  --out DIR       write DIR/data.dat (keeping the first data.bak) instead of standard output;\n"
    "                  a large list gets its index file DIR/data.idx too\n"
    "Comments (#), blank lines and names that are no host names are skipped, duplicates dropped;\n"
    "counts go to standard error.\n";

struct Counts {
    size_t blocked = 0, allowed = 0, approved = 0, duplicates = 0, skipped = 0;
};

// Lines of a file without comments, surrounding blanks or line ends.
bool eachLine(const std::string& file, const std::function<void(const std::string&)>& take) {
    std::ifstream in;
    std::istream* s = &std::cin;
    if (file != "-") {
        in.open(file, std::ios::binary);
        if (!in) return false;
        s = &in;
    }
    std::string line;
    while (std::getline(*s, line)) {
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
        take(line);
    }
    return true;
}

// A host name as the lists hold it: lower case, no scheme, no trailing dot or slash.
std::string cleanName(std::string name) {
    name = lowerAZ(name);
    if (startsWith(name, "http://")) name.erase(0, 7);
    if (startsWith(name, "https://")) name.erase(0, 8);
    while (!name.empty() && (name.back() == '.' || name.back() == '/')) name.pop_back();
    // squidGuard's ".example.org" means the whole domain too.
    name.erase(0, std::min(name.find_first_not_of('.'), name.size()));
    return name;
}

bool looksLikeHost(const std::string& name) {
    return name.find('.') != std::string::npos && name.find_first_of(" \t") == std::string::npos &&
           name.find_first_not_of("0123456789.") != std::string::npos;
}

class Builder {
public:
    Counts counts;

    // A prefix entry for an address, or a domain entry for a name.
    void add(char kind, const std::string& text) {
        std::string entry = kind + ((kind == '2' || kind == '5') ? text : "http://" + text);
        // Keyed by the text the browser orders its entries by (kind code, then the text
        // upper-cased): written in key order, they load without a sort.
        if (!entries_.try_emplace(upperAZ(entry), std::move(entry)).second) {
            ++counts.duplicates;
            return;
        }
        (kind == '4' || kind == '5' ? counts.allowed : counts.blocked)++;
    }
    void domain(char kind, const std::string& raw) {
        const std::string name = cleanName(raw);
        if (!looksLikeHost(name)) {
            ++counts.skipped;
            return;
        }
        add(kind, name);
    }
    void host(const std::string& line) {
        std::istringstream words(line);
        std::string address, name;
        words >> address;
        if (address != "0.0.0.0" && address != "127.0.0.1" && address != "::" && address != "::1") {
            ++counts.skipped;
            return;
        }
        while (words >> name) {
            name = cleanName(name);
            if (looksLikeHost(name))
                add('2', name);
            else
                ++counts.skipped;
        }
    }
    void url(const std::string& raw) {
        const std::string address = cleanName(raw);
        if (address.empty() || address.find_first_of(" \t") != std::string::npos) {
            ++counts.skipped;
            return;
        }
        add('1', address);
    }
    void approved(const std::string& raw) {
        std::string address = raw;
        if (!startsWith(upperAZ(address), "HTTP://") && !startsWith(upperAZ(address), "HTTPS://")) address = "http://" + address;
        while (!address.empty() && address.back() == '/') address.pop_back();
        if (!seenMain_.insert(upperAZ(address)).second) {
            ++counts.duplicates;
            return;
        }
        ++counts.approved;
        main_.push_back(address);
    }

    std::string text() const {
        std::string out = "starturls\r\n";
        for (const auto& [key, e] : entries_) out += e + "\r\n";
        out += "mainurls\r\n";
        for (const auto& m : main_) out += m + "\r\n";
        out += "endurls\r\n";
        return out;
    }

private:
    std::map<std::string, std::string> entries_;
    std::set<std::string> seenMain_;
    std::vector<std::string> main_;
};

// A new key pair: the secret written first, readable by its owner only, and never
// over an existing one.
int keygen(const std::string& folder) {
    const std::string dir = programFolder(folder);
    const KeyPair key = generateKeyPair();
    const std::string secret = dir + "update.secret";
    const int fd = ::open(secret.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const std::string text = secretText(key);
    if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) || ::fsync(fd) != 0) {
        std::fprintf(stderr, "wenlow-lists: Cannot create file %s%s\n", secret.c_str(),
                     errno == EEXIST ? " (it exists already)" : "");
        if (fd >= 0) ::close(fd);
        return 2;
    }
    ::close(fd);
    try {
        writeFileSafely(dir + KeyFileName, keyText(key.publicKey));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wenlow-lists: %s\n", e.what());
        return 2;
    }
    std::fprintf(stderr, "wenlow-lists: wrote %s%s (public) and %s (secret)\n", dir.c_str(), KeyFileName, secret.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Builder b;
    std::string out, seed;
    bool any = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (i + 1 >= argc) return usageError("missing value for " + arg, Usage);
        const std::string value = argv[++i];
        std::function<void(const std::string&)> take;
        if (arg == "--keygen") return keygen(value);
        if (arg == "--sign") {
            std::string text;
            try {
                text = readFileBytes(value);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "wenlow-lists: %s\n", e.what());
                return 2;
            }
            const auto key = seedFromSecretText(text);
            if (!key) {
                std::fprintf(stderr, "wenlow-lists: the secret key in %s is not understood\n", value.c_str());
                return 2;
            }
            seed = *key;
            continue;
        }
        if (arg == "--hosts")
            take = [&](const std::string& l) { b.host(l); };
        else if (arg == "--domains")
            take = [&](const std::string& l) { b.domain('2', l); };
        else if (arg == "--urls")
            take = [&](const std::string& l) { b.url(l); };
        else if (arg == "--allow")
            take = [&](const std::string& l) { b.domain('5', l); };
        else if (arg == "--main")
            take = [&](const std::string& l) { b.approved(l); };
        else if (arg == "--out") {
            out = value;
            continue;
        } else
            return usageError("unknown option " + arg, Usage);
        if (!eachLine(value, take)) {
            std::fprintf(stderr, "wenlow-lists: Cannot open file %s\n", value.c_str());
            return 2;
        }
        any = true;
    }
    if (!any) return usageError("no list given", Usage);

    const std::string text = seed.empty() ? b.text() : signedList(b.text(), seed);  // sorted
    if (out.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        const std::string dir = programFolder(out);
        try {
            backupRename(dir + "data.dat", dir + "data.bak");
            writeFileSafely(dir + "data.dat", text);
            // Read back as the browser will: a large list leaves its index file beside it.
            LinkLists lists;
            readDataFile(dir, lists);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "wenlow-lists: %s\n", e.what());
            return 2;
        }
    }
    std::fprintf(stderr, "wenlow-lists: %zu blocked, %zu allowed, %zu approved, %zu duplicates dropped, %zu names skipped\n",
                 b.counts.blocked, b.counts.allowed, b.counts.approved, b.counts.duplicates, b.counts.skipped);
    return 0;
}
