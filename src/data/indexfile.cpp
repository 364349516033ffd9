#include "data/indexfile.h"

#include "data/image.h"
#include "data/linklists.h"

#include <atomic>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char Magic[8] = {'W', 'L', 'X', 'I', 'N', 'D', 'E', 'X'};
// Raised whenever the lists an index holds would differ: a new layout, or another
// reading of data.dat (12: the head of a stored answer is never read as list lines).
constexpr std::uint64_t Version = 12;

struct Header {
    char magic[8];
    std::uint64_t version;
    std::uint64_t fileLength;
    std::uint64_t fileChecksum;
    std::uint64_t bodyLength;
    std::uint64_t bodyChecksum;  // one changed byte anywhere makes the file unusable
    std::uint64_t unused[2];
};
static_assert(sizeof(Header) == 64);  // the body starts aligned

}  // namespace

IndexFile IndexFile::open(const std::string& path) {
    IndexFile f;
    const FileImage m = readFileImage(path);
    if (m.size < sizeof(Header)) return f;
    Header h;
    std::memcpy(&h, m.data, sizeof h);
    if (std::memcmp(h.magic, Magic, sizeof Magic) != 0 || h.version != Version || h.bodyLength != m.size - sizeof h ||
        checksumOf({m.data + sizeof h, h.bodyLength}) != h.bodyChecksum)
        return f;
    f.fileLength_ = h.fileLength;
    f.fileChecksum_ = h.fileChecksum;
    ImageReader in(m.keep, m.data + sizeof h, h.bodyLength);
    f.usable_ = f.lists_.load(in);
    return f;
}

bool IndexFile::madeFrom(std::size_t fileLength, std::uint64_t fileChecksum) const {
    return usable_ && fileLength_ == fileLength && fileChecksum_ == fileChecksum;
}

void writeIndexFile(const std::string& path, std::string_view dataFile, const LinkLists& lists) {
    const std::filesystem::path target(path);
    const std::string folder = target.parent_path().empty() ? "." : target.parent_path().string();
    // Written nameless and named when whole: a crash leaves no half file behind.
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) return;
    Header h{};
    std::memcpy(h.magic, Magic, sizeof Magic);
    h.version = Version;
    h.fileLength = dataFile.size();
    h.fileChecksum = checksumOf(dataFile);
    bool ok = ::lseek(fd, sizeof h, SEEK_SET) == static_cast<off_t>(sizeof h);
    if (ok) {
        ImageWriter out(fd);
        lists.save(out);
        ok = out.finish();
        h.bodyLength = out.length();
        h.bodyChecksum = out.checksum();
    }
    // On disk before it has a name: after a crash the index is whole or not there, as
    // trustworthy as data.dat itself.
    ok = ok && ::pwrite(fd, &h, sizeof h, 0) == static_cast<ssize_t>(sizeof h) && ::fsync(fd) == 0;
    static std::atomic<unsigned> counter{0};
    const std::string temporary = path + "." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (ok && ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0 &&
        ::rename(temporary.c_str(), path.c_str()) != 0)
        ::unlink(temporary.c_str());
    ::close(fd);
}

void removeIndexFile(const std::string& path) { ::unlink(path.c_str()); }
