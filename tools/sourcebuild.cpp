#include "tools/sourcebuild.h"

#include "data/files.h"
#include "platform/errors.h"
#include "tools/builder.h"
#include "tools/fetch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>

namespace {

std::string timeText(std::int64_t t) {
    const std::time_t at = static_cast<std::time_t>(t);
    std::tm local{};
    char text[32];
    if (!localtime_r(&at, &local) || !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local)) return "?";
    return text;
}

// A list as read: its entries in the builder, unless it gave none (an error page, an
// empty answer), which is no list at all and is taken back.
bool readCopy(const std::string& file, const ListSource& s, ListBuilder& builder, SourceOutcome& o) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), std::fclose);
    const ListBuilder::Mark mark = builder.mark();
    LineCounts counts;
    if (!in || !readListFile(in.get(), s.format, s.use, builder, counts) || builder.entries() == mark.entries) {
        builder.undo(mark);
        return false;
    }
    o.entries = builder.entries() - mark.entries;
    o.skipped = counts;
    return true;
}

void say(std::FILE* to, const ListSource& s, const std::string& text) {
    std::fprintf(to, "wenlow-lists: %s: %s\n", s.address.c_str(), text.c_str());
    std::fflush(to);
}

std::string entriesText(const SourceOutcome& o) {
    std::string t = std::to_string(o.entries) + " entries";
    if (o.skipped.skipped() > 0) t += ", " + std::to_string(o.skipped.skipped()) + " lines skipped";
    return t;
}

// Copies of lists no longer named, and files a stopped run left behind.
void removeStaleCopies(const std::string& programDir, const std::vector<ListSource>& sources) {
    std::error_code ec;
    for (const auto& f : std::filesystem::directory_iterator(sourcesFolder(programDir), ec)) {
        const std::string name = f.path().string();
        const std::string ext = f.path().extension().string();
        if (ext != ".list" && ext != ".new") continue;
        bool named = false;
        for (const ListSource& s : sources)
            named = named || (ext == ".list" && copyFileOf(programDir, s.address) == name);
        if (!named) std::filesystem::remove(f.path(), ec);
    }
}

// One run at a time in a folder (the timer's and a parent's): they would write the same
// copies.
class FolderLock {
public:
    FolderLock(const std::string& path, const std::string& programDir)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664)) {
        if (fd_ < 0) throw EFileError("Cannot create file " + path);
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd_);
            throw Exception("the lists of " + programDir + " are being fetched already");
        }
    }
    ~FolderLock() { ::close(fd_); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

}  // namespace

bool readListFile(std::FILE* in, ListFormat format, ListUse use, ListBuilder& builder, LineCounts& counts) {
    const EntrySink add = [&](std::string_view entry) { builder.add(entry); };
    return eachLine(
        in, [&](std::string_view line) { readListLine(format, use, line, add, counts); }, counts.notNames);
}

namespace {

// Shows on a terminal how a list comes in.
std::function<void(std::uint64_t, std::uint64_t)> progressOn(std::FILE* to, const ListSource& s, bool& shown) {
    if (!::isatty(::fileno(to))) return nullptr;
    return [to, &s, &shown, last = std::uint64_t{0}](std::uint64_t received, std::uint64_t total) mutable {
        if (received == 0 || (received - last < 64 * 1024 && received != total)) return;
        last = received;
        shown = true;
        std::fprintf(to, "\rwenlow-lists: %s: %llu", s.address.c_str(), static_cast<unsigned long long>(received));
        if (total > 0) std::fprintf(to, " of %llu", static_cast<unsigned long long>(total));
        std::fputs(" bytes", to);
    };
}

// Fetches one list and adds its entries: the fresh list when it came whole and is a list,
// else the copy kept. The state is brought up to date with what happened.
SourceOutcome addSource(const std::string& programDir, const ListSource& s, SourceState& state, Fetcher& fetcher,
                        ListBuilder& builder, std::FILE* log, std::FILE* problems) {
    const std::string copy = copyFileOf(programDir, s.address);
    bool copyUsable = fileExists(copy);
    if (!copyUsable) {  // the version named is not at hand: ask for the whole list
        state.etag.clear();
        state.lastModified.clear();
    }
    bool shown = false;
    fetcher.onProgress = progressOn(problems, s, shown);
    const std::string fresh = copy.substr(0, copy.size() - 5) + ".new";
    const FetchResult r = fetcher.fetch(s.address, state.etag, state.lastModified, fresh);
    fetcher.onProgress = nullptr;
    if (shown) std::fputs("\n", problems);
    state.tried = static_cast<std::int64_t>(std::time(nullptr));

    SourceOutcome o;
    o.problem = r.problem;
    if (r.outcome == FetchResult::Outcome::Fetched) {
        const ListBuilder::Mark mark = builder.mark();
        if (!readCopy(fresh, s, builder, o)) {
            o.problem = "the answer holds no " + std::string(formatName(s.format)) + " entry";
        } else if (std::rename(fresh.c_str(), copy.c_str()) != 0) {
            o.problem = "Cannot create file " + copy;
            builder.undo(mark);
        } else {
            o.how = SourceOutcome::How::Fetched;
            state.fetched = state.tried;
            state.etag = r.etag;
            state.lastModified = r.lastModified;
            say(log, s, "fetched, " + std::to_string(r.bytes) + " bytes, " + entriesText(o));
        }
        std::remove(fresh.c_str());
    } else if (r.outcome == FetchResult::Outcome::NotChanged) {
        if (readCopy(copy, s, builder, o)) {
            o.how = SourceOutcome::How::NotChanged;
            state.fetched = state.tried;
            say(log, s, "not changed, " + entriesText(o));
        } else {
            o.problem = "the kept copy " + copy + " cannot be read";
            copyUsable = false;
        }
    }
    if (o.how == SourceOutcome::How::LeftOut) {
        if (copyUsable && readCopy(copy, s, builder, o)) {
            o.how = SourceOutcome::How::OldCopy;
            say(problems, s,
                o.problem + "; using the copy kept" + (state.fetched ? " from " + timeText(state.fetched) : "") + ", " +
                    entriesText(o));
        } else {
            say(problems, s, o.problem + "; no copy to use, left out");
            state.etag.clear();  // the next fetch is whole
            state.lastModified.clear();
        }
    }
    state.problem = o.problem;
    return o;
}

}  // namespace

std::vector<SourceOutcome> buildFromSources(const std::string& programDir, const std::vector<ListSource>& sources,
                                            Fetcher& fetcher, ListBuilder& builder, std::FILE* log,
                                            std::FILE* problems) {
    const std::string folder = sourcesFolder(programDir);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const FolderLock lock(folder + "lock", programDir);
    const std::vector<SourceState> before = readSourceStates(programDir);
    std::vector<SourceState> states;
    std::vector<SourceOutcome> outcomes;
    for (const ListSource& s : sources) {
        SourceState state;
        if (const SourceState* old = stateOf(before, s.address)) state = *old;
        state.address = s.address;
        outcomes.push_back(addSource(programDir, s, state, fetcher, builder, log, problems));
        states.push_back(std::move(state));
    }
    writeSourceStates(programDir, states);
    removeStaleCopies(programDir, sources);
    return outcomes;
}
