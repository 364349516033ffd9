#include "data/files.h"

#include "data/hugealloc.h"
#include "platform/errors.h"
#include "platform/text.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString qpath(const std::string& path) { return fromAnsi(path); }

// Room for a file of tens of megabytes on huge pages, where first touching it costs a
// fraction of what it costs in small pages.
void reserveOnHugePages(std::string& s, std::size_t size) {
    if (size < 2 * HugePage) return;
    s.reserve(size);
    adviseHugePages(s.data(), size);
}

// Straight into the string: a list file can be tens of megabytes.
bool readAll(const std::string& path, std::string& out) {
    // Not blocking, and regular files only: a FIFO in a file's place must not stall.
    const int fd = ::open(QFile::encodeName(qpath(path)).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        reserveOnHugePages(out, static_cast<size_t>(st.st_size));
        out.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        for (ssize_t n; got < out.size() && (n = ::read(fd, out.data() + got, out.size() - got)) != 0;)
            if (n > 0) got += static_cast<size_t>(n);
            else if (errno != EINTR) break;
        out.resize(got);
        // A file that grew meanwhile is read on to its end.
        char more[65536];
        for (ssize_t n; (n = ::read(fd, more, sizeof more)) > 0;) out.append(more, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok;
}

}  // namespace

LineReader::LineReader(std::string text) : text_(std::move(text)) {
    if (auto eof = text_.find('\x1a'); eof != std::string::npos) text_.resize(eof);
}

LineReader LineReader::open(const std::string& path) {
    std::string bytes;
    if (!readAll(path, bytes)) throw EFileError("File not found");
    return LineReader(std::move(bytes));
}

std::string LineReader::next() {
    if (atEnd()) return {};
    const size_t cr = text_.find('\r', pos_);
    if (cr == std::string::npos) {
        std::string line = text_.substr(pos_);
        pos_ = text_.size();
        return line;
    }
    std::string line = text_.substr(pos_, cr - pos_);
    pos_ = cr + 1;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    return line;
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> lines;
    const size_t end = std::min(text.find('\0'), text.size());
    size_t pos = 0;
    while (pos < end) {
        size_t stop = pos;
        while (stop < end && text[stop] != '\r' && text[stop] != '\n') ++stop;
        lines.emplace_back(text, pos, stop - pos);
        pos = stop;
        if (pos < end && text[pos] == '\r') ++pos;
        if (pos < end && text[pos] == '\n') ++pos;
    }
    return lines;
}

std::vector<std::string> readListFile(const std::string& path) { return splitList(readFileBytes(path)); }

std::string readFileBytes(const std::string& path) {
    std::string bytes;
    if (!readAll(path, bytes)) throw EFileError(fillIn("Cannot open file %s", path));
    return bytes;
}

void writeFileSafely(const std::string& path, const std::string& bytes) {
    QSaveFile f(qpath(path));
    // Unbuffered: a failing write must reach QSaveFile itself, or commit() would rename
    // a cut-off file over the old one.
    const bool ok = f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                    f.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size()) &&
                    f.commit();
    if (!ok) {
        f.cancelWriting();
        throw EFileError(fillIn("Cannot create file %s", path));
    }
}

void backupRename(const std::string& from, const std::string& to) {
    const QByteArray src = QFile::encodeName(qpath(from));
    const QByteArray dst = QFile::encodeName(qpath(to));
    if (::link(src.constData(), dst.constData()) == 0) return;
    // Folders without hard links: a copy, which refuses an existing target too.
    if (errno == EPERM || errno == EXDEV || errno == ENOTSUP || errno == EOPNOTSUPP)
        QFile::copy(qpath(from), qpath(to));
}

bool fileExists(const std::string& path) { return QFile::exists(qpath(path)); }

bool writeFully(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}
