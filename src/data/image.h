#pragma once
// A file of plain values and arrays that is read back by mapping it: each array starts on
// a 64-byte boundary, so the mapping is used in place.
#include "data/block.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

// A 64-bit checksum of bytes (four interleaved lanes, so it runs at memory speed).
// Changing any one 8-byte word always changes it. Bytes may be added in pieces of any
// size; the result is that of the whole.
class Checksum {
public:
    Checksum();
    void add(std::string_view bytes);
    std::uint64_t value() const;

private:
    void block(const char* p);

    std::uint64_t lanes_[4];
    char carry_[32] = {};
    std::size_t carried_ = 0;
    std::uint64_t length_ = 0;
};
std::uint64_t checksumOf(std::string_view bytes);

// Writes an image through a small buffer straight to an open file.
class ImageWriter {
public:
    explicit ImageWriter(int fd);
    void put(std::uint64_t value);
    template <class T>
    void put(const Block<T>& block) {
        put(static_cast<std::uint64_t>(block.size()));
        align();
        write(reinterpret_cast<const char*>(block.data()), block.size() * sizeof(T));
        align();
    }
    // Writes out the rest; false when any write failed.
    bool finish();
    std::uint64_t length() const { return length_; }
    std::uint64_t checksum() const { return sum_.value(); }  // of what finish() wrote

private:
    void write(const char* p, std::size_t n);
    void align();
    void flush();

    int fd_;
    std::string buffer_;
    std::size_t used_ = 0;
    std::uint64_t length_ = 0;
    Checksum sum_;
    bool ok_ = true;
};

// Reads the values of an image in the order they were written; every read is checked
// against the end, and a failed read leaves the reader failed.
class ImageReader {
public:
    ImageReader(std::shared_ptr<const void> keep, const char* data, std::size_t size)
        : keep_(std::move(keep)), data_(data), size_(size) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return at_ == size_; }

    std::uint64_t get();
    template <class T>
    Block<T> get() {
        const std::uint64_t count = get();
        align();
        if (!ok_ || count > (size_ - at_) / sizeof(T)) {
            ok_ = false;
            return {};
        }
        const auto* first = reinterpret_cast<const T*>(data_ + at_);
        at_ += count * sizeof(T);
        align();
        return Block<T>::view(keep_, first, count);
    }
    void fail() { ok_ = false; }

private:
    void align();

    std::shared_ptr<const void> keep_;
    const char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

// A whole regular file read into memory aligned for an image; empty when it cannot be
// read, is empty, or is no regular file.
struct FileImage {
    std::shared_ptr<const void> keep;
    const char* data = nullptr;
    std::size_t size = 0;
};
FileImage readFileImage(const std::string& path);
