#include "data/indexfile.h"

#include "data/image.h"
#include "data/linklists.h"

#include <atomic>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char Magic[8] = {'W', 'L', 'X', 'I', 'N', 'D', 'E', 'X'};
constexpr std::uint64_t Version = 2;

struct Header {
    char magic[8];
    std::uint64_t version;
    std::uint64_t textLength;
    std::uint64_t textChecksum;
    std::uint64_t bodyLength;
    std::uint64_t bodyChecksum;
    std::uint64_t unused[2];
};
static_assert(sizeof(Header) == 64);  // the body starts aligned

}  // namespace

IndexFile IndexFile::open(const std::string& path) {
    IndexFile f;
    f.mapping_ = mapFile(path);
    const Mapping& m = f.mapping_;
    if (m.size < sizeof(Header)) return f;
    Header h;
    std::memcpy(&h, m.data, sizeof h);
    f.textLength_ = h.textLength;
    f.textChecksum_ = h.textChecksum;
    f.usable_ = std::memcmp(h.magic, Magic, sizeof Magic) == 0 && h.version == Version &&
                h.bodyLength == m.size - sizeof h && h.bodyChecksum == checksumOf({m.data + sizeof h, h.bodyLength});
    return f;
}

bool IndexFile::madeFrom(std::size_t textLength, std::uint64_t textChecksum) const {
    return usable_ && textLength_ == textLength && textChecksum_ == textChecksum;
}

bool IndexFile::load(LinkLists& lists) const {
    if (!usable_) return false;
    ImageReader in(mapping_.keep, mapping_.data + sizeof(Header), mapping_.size - sizeof(Header));
    return lists.load(in);
}

void writeIndexFile(const std::string& path, std::string_view text, const LinkLists& lists) {
    const std::filesystem::path target(path);
    const std::string folder = target.parent_path().empty() ? "." : target.parent_path().string();
    // Written nameless and named when whole: a crash leaves no half file behind.
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) return;
    Header h{};
    std::memcpy(h.magic, Magic, sizeof Magic);
    h.version = Version;
    h.textLength = text.size();
    h.textChecksum = checksumOf(text);
    bool ok = ::lseek(fd, sizeof h, SEEK_SET) == static_cast<off_t>(sizeof h);
    if (ok) {
        ImageWriter out(fd);
        lists.save(out);
        ok = out.finish();
        h.bodyLength = out.length();
        h.bodyChecksum = out.checksum();
    }
    ok = ok && ::pwrite(fd, &h, sizeof h, 0) == static_cast<ssize_t>(sizeof h);
    static std::atomic<unsigned> counter{0};
    const std::string temporary = path + "." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (ok && ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0 &&
        ::rename(temporary.c_str(), path.c_str()) != 0)
        ::unlink(temporary.c_str());
    ::close(fd);
}

void removeIndexFile(const std::string& path) { ::unlink(path.c_str()); }
