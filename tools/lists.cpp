// wenlow-lists: a data.dat from common blocklist formats, local or fetched from where they
// are published.
#include "data/files.h"
#include "data/linklists.h"
#include "data/programdir.h"
#include "data/sources.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "tools/builder.h"
#include "tools/common.h"
#include "tools/fetch.h"
#include "tools/formats.h"
#include "tools/sourcebuild.h"
#include "update/signature.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "usage: wenlow-lists [--hosts FILE] [--domains FILE] [--urls FILE] [--adblock FILE] [--allow FILE]\n"
    "                    [--allow-only FILE] [--main FILE] [--sign SECRET [--serial N]] [--out DIR]\n"
    "       wenlow-lists --sources [--dir DIR] [--max-bytes N] [--time-limit SECONDS] [--sign SECRET] ...\n"
    "       wenlow-lists --keygen DIR\n"
    "Writes a data.dat for Wenlow Explorer from blocklists. FILE \"-\" is standard input.\n"
    "  --hosts FILE    hosts-file lines \"0.0.0.0 name\" or \"127.0.0.1 name\": each name and every\n"
    "                  host below it is blocked (a \"2\" entry)\n"
    "  --domains FILE  one domain or IP address a line (also squidGuard \"domains\"): the domain\n"
    "                  and every host below it are blocked (a \"2\" entry)\n"
    "  --urls FILE     one address a line (squidGuard \"urls\", host/path): blocked from there on\n"
    "  --adblock FILE  adblock-style network rules: \"||host^\" blocks a domain, \"||host/path\" and\n"
    "                  \"|http://...\" addresses from there on, \"|http://...|\" one address; \"@@\"\n"
    "                  rules approve; rules with \"$\" options, element hiding and others are skipped\n"
    "  --allow FILE    domains allowed, with every host below them, even when a block entry\n"
    "                  matches them (a \"5\" entry); alone it blocks nothing, and is refused\n"
    "  --allow-only FILE  only these domains open, with every host below them: a \"1\" entry\n"
    "                  that refuses every address, and a \"5\" entry for each domain\n"
    "  --main FILE     approved addresses for the verification of left-pane links\n"
    "  --sources       fetch the lists named in the program folder's sources.txt (one a line:\n"
    "                  https address, format hosts/domains/urls/adblock, block or allow) and\n"
    "                  write the folder's data.dat from them; each list is kept in the folder\n"
    "                  \"sources\", asked for again only when it changed, and used as last fetched\n"
    "                  when fetching it fails. Exit status 0 only when every list was fetched.\n"
    "  --dir DIR       the program folder of --sources (default: the folder of this program)\n"
    "  --max-bytes N   refuse a list larger than N bytes (default 268435456)\n"
    "  --time-limit SECONDS  give up on a list after this long (default 600; 60 without a byte)\n"
    "  --sign SECRET   sign the list with the secret key in file SECRET (as --keygen writes it)\n"
    "  --serial N      the list's number, which must grow from list to list (default: the time\n"
    "                  of signing, in seconds since 1970)\n"
    "  --keygen DIR    write a new key pair: DIR/update.key, the public key a parent puts in the\n"
    "                  program folder, and DIR/update.secret, readable by its owner only\n"
    "  --out DIR       write DIR/data.dat (keeping the first data.bak) instead of standard output;\n"
    "                  a large list gets its index file DIR/data.idx too\n"
    "Comments, blank lines and names that are no host names are skipped, duplicates dropped;\n"
    "counts go to standard error. For tests, WENLOW_TEST_CA names the certificate (PEM) of an\n"
    "authority to trust instead of the system's.\n";

// A new key pair: the secret written first, readable by its owner only, and never
// over an existing one.
int keygen(const std::string& folder) {
    const std::string dir = programFolder(folder);
    std::error_code made;
    std::filesystem::create_directories(dir, made);
    if (made) {
        std::fprintf(stderr, "wenlow-lists: Cannot create folder %s (%s)\n", dir.c_str(), made.message().c_str());
        return 2;
    }
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

// The list's text as it is published: signed, with its number, when a secret key was given.
std::string listText(ListBuilder& builder, const std::string& seed, std::uint64_t serial) {
    std::string text = builder.take();  // sorted
    if (!seed.empty()) text = signedList(text, seed, serial);
    return text;
}

// Whether two lists say the same: a list signed again by the same key with only a new
// number says nothing new.
bool sameList(std::string_view a, std::string_view b) {
    constexpr std::string_view Signature = "wenlow-signature ", Serial = "wenlow-serial ";
    const auto afterLine = [](std::string_view t) {
        const std::size_t eol = t.find('\n');
        return eol == std::string_view::npos ? std::string_view() : t.substr(eol + 1);
    };
    // The key id, and the list after the signature and number lines.
    const auto parts = [&](std::string_view t) {
        if (!startsWith(t, Signature)) return std::pair(std::string_view(), t);
        const std::string_view key = t.substr(0, t.find(' ', t.find(' ', Signature.size()) + 1));
        std::string_view rest = afterLine(t);
        if (startsWith(rest, Serial)) rest = afterLine(rest);
        return std::pair(key, rest);
    };
    return parts(a) == parts(b);
}

// Writes data.dat into the folder, keeping the first data.bak, and reads it back as the
// browser will, so a large list leaves its index file beside it. A list as it stands
// already (signed again only with a new number) is not written again: the browser need
// not reload it.
void storeList(const std::string& dir, std::string text) {
    const std::string path = dir + "data.dat";
    if (fileExists(path) && sameList(readFileBytes(path), text)) {
        std::fprintf(stderr, "wenlow-lists: %s is up to date\n", path.c_str());
        return;
    }
    backupRename(path, dir + "data.bak");
    writeFileSafely(path, text);
    std::string().swap(text);
    // What the build freed goes back to the system before the index takes its share: the
    // whole run stays within what one list of public size needs.
    ::malloc_trim(0);
    LinkLists lists;
    readDataFile(dir, lists);
}

bool parseCount(const std::string& text, unsigned long long& n) {
    char* end = nullptr;
    n = std::strtoull(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && n > 0;
}

struct ListOption {
    const char* name;
    ListFormat format;
    ListUse use;
};
constexpr ListOption ListOptions[] = {
    {"--hosts", ListFormat::Hosts, ListUse::Block},   {"--domains", ListFormat::Domains, ListUse::Block},
    {"--urls", ListFormat::Urls, ListUse::Block},     {"--adblock", ListFormat::Adblock, ListUse::Block},
    {"--allow", ListFormat::Domains, ListUse::Allow},   {"--allow-only", ListFormat::Domains, ListUse::Allow},
};

// A list that would silently do nothing of what was asked, refused with the reason;
// empty when the list does what its options say.
std::string noOpReason(const BuildCounts& c, const LineCounts& skipped, bool allowOnly) {
    if (allowOnly) return c.allowed == 0 ? "--allow-only names no site: the list would refuse every address" : "";
    if (c.blocked == 0 && c.allowed > 0)
        return "--allow alone blocks nothing (it opens sites that a block entry refuses); to open only these sites, "
               "use --allow-only FILE";
    if (c.blocked == 0 && c.allowed == 0 && c.approved == 0 && skipped.notNames > 0)
        return "no line of the lists names a host or an address (\"*\" is no wildcard here), so the list would "
               "block nothing; to open only chosen sites, name them with --allow-only FILE";
    return {};
}

// A list file, or standard input for "-".
std::unique_ptr<std::FILE, int (*)(std::FILE*)> openList(const std::string& file) {
    if (file == "-") return {stdin, [](std::FILE*) { return 0; }};
    return {std::fopen(file.c_str(), "rb"), std::fclose};
}

}  // namespace

int main(int argc, char** argv) {
    ListBuilder b;
    LineCounts skipped;
    std::string out, dir, seed;
    std::uint64_t serial = signingTime();
    bool any = false, sources = false, haveDir = false, allowOnly = false;
    FetchLimits limits;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--sources") {
            sources = any = true;
            continue;
        }
        if (i + 1 >= argc) return usageError("missing value for " + arg, Usage);
        const std::string value = argv[++i];
        unsigned long long n = 0;
        if (arg == "--keygen") return keygen(value);
        if (arg == "--serial") {
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), serial);
            if (value.empty() || ec != std::errc() || end != value.data() + value.size())
                return usageError("--serial takes a number", Usage);
            continue;
        }
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
        } else if (arg == "--out") {
            out = value;
        } else if (arg == "--dir") {
            dir = value;
            haveDir = true;
        } else if (arg == "--max-bytes") {
            if (!parseCount(value, n)) return usageError("--max-bytes takes a number of bytes", Usage);
            limits.maxBytes = n;
        } else if (arg == "--time-limit") {
            if (!parseCount(value, n) || n > 86400) return usageError("--time-limit takes a number of seconds", Usage);
            limits.timeLimit = static_cast<long>(n);
            limits.silenceLimit = std::min(limits.silenceLimit, limits.timeLimit);
        } else {
            const auto file = openList(value);
            bool read = false;
            if (arg == "--main") {
                const auto approve = [&](std::string_view line) {
                    line = line.substr(0, line.find('#'));
                    const std::size_t first = line.find_first_not_of(" \t");
                    if (first != std::string_view::npos)
                        b.approve(line.substr(first, line.find_last_not_of(" \t") - first + 1));
                };
                read = file && eachLine(file.get(), approve, skipped.notNames);
            } else {
                const auto o = std::find_if(std::begin(ListOptions), std::end(ListOptions),
                                            [&](const ListOption& o) { return arg == o.name; });
                if (o == std::end(ListOptions)) return usageError("unknown option " + arg, Usage);
                read = file && readListFile(file.get(), o->format, o->use, b, skipped);
                allowOnly = allowOnly || arg == "--allow-only";
            }
            if (!read) {
                std::fprintf(stderr, "wenlow-lists: Cannot open file %s\n", value.c_str());
                return 2;
            }
            any = true;
        }
    }
    if (!any) return usageError("no list given", Usage);
    if (sources && !out.empty())
        return usageError("--sources writes the program folder's data.dat: give it with --dir", Usage);
    if (haveDir && !sources)
        return usageError("--dir goes with --sources; --out names where data.dat is written", Usage);

    int status = 0;
    try {
        if (sources) {
            out = programFolder(dir);
            std::vector<ListSource> named;
            try {
                named = readSources(out);
            } catch (const std::exception& e) {  // not a write: the folder's owner is no matter
                std::fprintf(stderr, "wenlow-lists: %s\n", e.what());
                return 2;
            }
            if (named.empty()) throw Exception(out + SourcesFileName + " names no list");
            Fetcher fetcher(limits);
            bool someList = false;
            for (const SourceOutcome& o : buildFromSources(out, named, fetcher, b, stdout, stderr)) {
                skipped += o.skipped;
                someList = someList || o.how != SourceOutcome::How::LeftOut;
                if (o.how != SourceOutcome::How::Fetched && o.how != SourceOutcome::How::NotChanged) status = 1;
            }
            if (!someList) {
                std::fprintf(stderr, "wenlow-lists: no list could be read; %sdata.dat is left as it is\n", out.c_str());
                return 1;
            }
        }
        if (allowOnly) b.add("1");  // every address begins with nothing: all refused but the sites
        std::string text = listText(b, seed, serial);
        if (sources && !allowOnly && b.counts().blocked == 0) {
            // A block list that could not be read must not leave the allow lists alone in force.
            std::fprintf(stderr, "wenlow-lists: the lists that could be read block nothing; %sdata.dat is left as it is\n",
                         out.c_str());
            return status == 1 ? 1 : 2;
        }
        if (const std::string reason = sources ? "" : noOpReason(b.counts(), skipped, allowOnly); !reason.empty()) {
            std::fprintf(stderr, "wenlow-lists: %s\n", reason.c_str());
            return 2;
        }
        if (out.empty())
            std::fwrite(text.data(), 1, text.size(), stdout);
        else
            storeList(programFolder(out), std::move(text));
    } catch (const EFileError& e) {
        // A child's account is told which folder it cannot change, in a parent's words.
        const std::string text = out.empty() ? e.what() : writeFailureText(programFolder(out), e.what());
        std::fprintf(stderr, "wenlow-lists: %s\n", text.c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wenlow-lists: %s\n", e.what());
        return 2;
    }
    const BuildCounts& c = b.counts();
    std::fprintf(stderr,
                 "wenlow-lists: %zu blocked, %zu allowed, %zu approved, %zu duplicates dropped, %zu names skipped",
                 c.blocked, c.allowed, c.approved, c.duplicates, skipped.notNames);
    if (const std::size_t rules = skipped.withOptions + skipped.cosmetic + skipped.unsupported)
        std::fprintf(stderr, ", %zu adblock rules skipped (%zu with options, %zu element hiding, %zu other)", rules,
                     skipped.withOptions, skipped.cosmetic, skipped.unsupported);
    std::fputs("\n", stderr);
    return status;
}
