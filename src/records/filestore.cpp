// Records in a file of the program folder, where no journal runs: one line a record,
// appended whole; the file is moved aside before it passes its limit, so the two files
// never hold more than twice the limit, however many refusals come.
#include "records/store.h"

#include "data/files.h"
#include "platform/errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace {

constexpr int Columns = 11;
const char* const Header = "# Wenlow Explorer records: time account kind pane button site address page count rule note\n";

void escapeInto(std::string& out, std::string_view s) {
    for (char c : s) switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
}

std::string unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::string isoTime(std::int64_t usec) {
    const std::time_t seconds = static_cast<std::time_t>(usec / 1000000);
    std::tm tm {};
    gmtime_r(&seconds, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>((usec % 1000000 + 1000000) % 1000000));
    return text;
}

bool parseTime(const std::string& text, std::int64_t& usec) {
    std::tm tm {};
    int micro = 0;
    char zone = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%6d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec, &micro, &zone) != 8 ||
        zone != 'Z')
        return false;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    usec = static_cast<std::int64_t>(timegm(&tm)) * 1000000 + micro;
    return true;
}

void readLines(const std::string& path, std::vector<Record>& out) {
    std::string text;
    try {
        text = readFileBytes(path);
    } catch (const EFileError&) {
        return;  // not there (yet)
    }
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();  // a line cut short is skipped below
        Record r;
        if (end < text.size() && FileStore::parse(std::string_view(text).substr(pos, end - pos), r))
            out.push_back(std::move(r));
        pos = end + 1;
    }
}

}  // namespace

FileStore::FileStore(std::string programDir, std::uint64_t limit)
    : path_(programDir + "records.log"), old_(programDir + "records.old"), limit_(limit) {}

std::string FileStore::line(const Record& r) {
    std::string out = isoTime(r.time);
    for (std::string_view f : {std::string_view(r.account), kindName(r.kind), std::string_view(r.pane)}) {
        out += '\t';
        escapeInto(out, f);
    }
    out += '\t' + std::to_string(r.button);
    for (std::string_view f : {r.site, r.address, r.page}) {
        out += '\t';
        escapeInto(out, f);
    }
    out += '\t' + std::to_string(r.count);
    for (std::string_view f : {r.rule, r.note}) {
        out += '\t';
        escapeInto(out, f);
    }
    return out + '\n';
}

bool FileStore::parse(std::string_view line, Record& r) {
    if (line.empty() || line[0] == '#') return false;
    std::vector<std::string> f;
    for (std::size_t pos = 0;;) {
        const std::size_t tab = line.find('\t', pos);
        f.push_back(unescape(line.substr(pos, tab == std::string_view::npos ? std::string_view::npos : tab - pos)));
        if (tab == std::string_view::npos) break;
        pos = tab + 1;
    }
    if (f.size() != Columns || !parseTime(f[0], r.time) || !kindFromName(f[2], r.kind)) return false;
    r.account = f[1];
    r.pane = f[3];
    r.button = std::atoi(f[4].c_str());
    r.site = f[5];
    r.address = f[6];
    r.page = f[7];
    r.count = std::strtoull(f[8].c_str(), nullptr, 10);
    r.rule = f[9];
    r.note = f[10];
    return true;
}

void FileStore::write(const std::vector<Record>& records) {
    std::string bytes;
    for (const Record& r : records) {
        std::string l = line(r);
        // A batch never takes the file past its limit: what does not fit is left out.
        if (bytes.size() + l.size() + std::char_traits<char>::length(Header) > limit_) break;
        bytes += l;
    }
    if (bytes.empty()) return;
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) + bytes.size() > limit_)
        ::rename(path_.c_str(), old_.c_str());
    const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (::fstat(fd, &st) == 0 && st.st_size == 0) bytes.insert(0, Header);
    writeFully(fd, bytes);
    ::close(fd);
}

std::vector<Record> FileStore::recent(std::size_t limit) const {
    std::vector<Record> all;
    readLines(old_, all);
    readLines(path_, all);
    if (all.size() > limit) all.erase(all.begin(), all.end() - static_cast<std::ptrdiff_t>(limit));
    return all;
}

std::string FileStore::where() const { return path_; }

std::unique_ptr<RecordStore> openRecordStore(const std::string& programDir) {
    if (journalRuns()) return std::make_unique<JournalStore>();
    return std::make_unique<FileStore>(programDir);
}
