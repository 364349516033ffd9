#include "data/image.h"

#include "data/hugealloc.h"

#include <cerrno>
#include <cstdlib>

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

Checksum::Checksum() : lanes_{0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull, 0x082EFA98EC4E6C89ull} {}

void Checksum::block(const char* p) {
    for (int l = 0; l < 4; ++l) lanes_[l] = step(lanes_[l], wordAt(p + 8 * l));
}

void Checksum::add(std::string_view bytes) {
    length_ += bytes.size();
    if (carried_ > 0) {
        const std::size_t part = std::min(bytes.size(), sizeof carry_ - carried_);
        std::memcpy(carry_ + carried_, bytes.data(), part);
        carried_ += part;
        bytes.remove_prefix(part);
        if (carried_ < sizeof carry_) return;
        block(carry_);
        carried_ = 0;
    }
    for (; bytes.size() >= sizeof carry_; bytes.remove_prefix(sizeof carry_)) block(bytes.data());
    std::memcpy(carry_, bytes.data(), bytes.size());
    carried_ = bytes.size();
}

std::uint64_t Checksum::value() const {
    std::uint64_t lanes[4] = {lanes_[0], lanes_[1], lanes_[2], lanes_[3]};
    // The tail, in zero-padded words.
    for (std::size_t i = 0, l = 0; i < carried_; ++l, i += 8) {
        char word[8] = {};
        std::memcpy(word, carry_ + i, std::min<std::size_t>(8, carried_ - i));
        lanes[l] = step(lanes[l], wordAt(word));
    }
    std::uint64_t h = step(0, length_);
    for (std::uint64_t lane : lanes) h = step(h, lane);
    return h;
}

std::uint64_t checksumOf(std::string_view bytes) {
    Checksum sum;
    sum.add(bytes);
    return sum.value();
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
    sum_.add({buffer_.data(), used_});
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

FileImage readFileImage(const std::string& path) {
    // Not blocking: a FIFO or a device in a file's place must not stall the start.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    FileImage image;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const auto size = static_cast<std::size_t>(st.st_size);
        // A private copy rather than a mapping: a file cut or rewritten while in use must
        // not take the program down, and the bytes checked are the bytes used.
        const std::size_t align = size >= 2 * HugePage ? HugePage : Alignment;
        const std::size_t rounded = (size + align - 1) / align * align;
        char* p = static_cast<char*>(std::aligned_alloc(align, rounded));
        if (p) {
            if (align == HugePage) adviseHugePages(p, rounded);
            std::shared_ptr<const void> keep(p, [](const void* q) { std::free(const_cast<void*>(q)); });
            std::size_t got = 0;
            for (ssize_t n; got < size && (n = ::read(fd, p + got, size - got)) != 0;) {
                if (n > 0)
                    got += static_cast<std::size_t>(n);
                else if (errno != EINTR)
                    break;
            }
            if (got > 0) {
                image.keep = std::move(keep);
                image.data = p;
                image.size = got;
            }
        }
    }
    ::close(fd);
    return image;
}
