#include "data/image.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t Alignment = 64;
constexpr std::uint64_t Odd = 0x9E3779B97F4A7C15ull;

std::uint64_t step(std::uint64_t lane, std::uint64_t word) {
    // Both moves are one to one, so a different word always leaves a different lane.
    lane = (lane ^ word) * Odd;
    return lane ^ (lane >> 32);
}

std::uint64_t wordAt(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

}  // namespace

std::uint64_t checksumOf(std::string_view bytes) {
    std::uint64_t lanes[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                              0x082EFA98EC4E6C89ull};
    const char* p = bytes.data();
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32)
        for (int l = 0; l < 4; ++l) lanes[l] = step(lanes[l], wordAt(p + i + 8 * l));
    // The tail, in zero-padded words.
    for (int l = 0; i < n; ++l, i += 8) {
        char word[8] = {};
        std::memcpy(word, p + i, std::min<std::size_t>(8, n - i));
        lanes[l] = step(lanes[l], wordAt(word));
    }
    std::uint64_t h = step(0, n);
    for (std::uint64_t lane : lanes) h = step(h, lane);
    return h;
}

ImageWriter::ImageWriter(int fd) : fd_(fd), buffer_(std::size_t(1) << 20, '\0') {}

void ImageWriter::put(std::uint64_t value) { write(reinterpret_cast<const char*>(&value), sizeof value); }

void ImageWriter::write(const char* p, std::size_t n) {
    length_ += n;
    while (n > 0) {
        const std::size_t part = std::min(n, buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, p, part);
        used_ += part;
        p += part;
        n -= part;
        if (used_ == buffer_.size()) flush();
    }
}

void ImageWriter::align() {
    static const char zeros[Alignment] = {};
    if (const std::size_t over = length_ % Alignment) write(zeros, Alignment - over);
}

void ImageWriter::flush() {
    for (std::size_t done = 0; done < used_ && ok_;) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, used_ - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            ok_ = false;
    }
    used_ = 0;
}

bool ImageWriter::finish() {
    align();
    flush();
    return ok_;
}

std::uint64_t ImageReader::get() {
    if (!ok_ || size_ - at_ < 8) {
        ok_ = false;
        return 0;
    }
    const std::uint64_t v = wordAt(data_ + at_);
    at_ += 8;
    return v;
}

void ImageReader::align() {
    const std::size_t over = at_ % Alignment;
    if (over == 0) return;
    if (size_ - at_ < Alignment - over)
        ok_ = false;
    else
        at_ += Alignment - over;
}

Mapping mapFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    Mapping m;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const auto size = static_cast<std::size_t>(st.st_size);
        // Populated at once: one call instead of a fault for every page.
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p != MAP_FAILED) {
            m.keep = std::shared_ptr<const void>(p, [size](const void* q) { ::munmap(const_cast<void*>(q), size); });
            m.data = static_cast<const char*>(p);
            m.size = size;
        }
    }
    ::close(fd);
    return m;
}
