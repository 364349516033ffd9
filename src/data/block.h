#pragma once
// An array of plain values that either owns them or views them in a read-only mapping of
// a file, kept alive by a shared handle. Views cost nothing to open or copy; changing a
// viewed array copies it into owned memory first.
#include "data/hugealloc.h"

#include <cstddef>
#include <memory>
#include <type_traits>
#include <vector>

template <class T>
class Block {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    Block() = default;
    Block(const Block& other) : owned_(other.owned_), keep_(other.keep_) {
        sync(other);
    }
    Block(Block&& other) noexcept : owned_(std::move(other.owned_)), keep_(std::move(other.keep_)) {
        // A moved vector keeps its elements where they are: views into them stay good.
        sync(other);
        other.reset();
    }
    Block& operator=(const Block& other) {
        if (this != &other) {
            owned_ = other.owned_;
            keep_ = other.keep_;
            sync(other);
        }
        return *this;
    }
    Block& operator=(Block&& other) noexcept {
        if (this != &other) {
            owned_ = std::move(other.owned_);
            keep_ = std::move(other.keep_);
            sync(other);
            other.reset();
        }
        return *this;
    }

    static Block view(std::shared_ptr<const void> keep, const T* data, std::size_t size) {
        Block b;
        b.keep_ = std::move(keep);
        b.data_ = data;
        b.size_ = size;
        return b;
    }
    bool isView() const { return keep_ != nullptr; }

    const T* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }

    // The elements, to change them in place.
    T* edit() {
        own();
        return owned_.data();
    }
    void clear() {
        keep_.reset();
        owned_.clear();
        syncOwned();
    }
    void reserve(std::size_t n) {
        own();
        owned_.reserve(n);
        syncOwned();
    }
    void assign(std::size_t n, const T& value) {
        keep_.reset();
        owned_.assign(n, value);
        syncOwned();
    }
    void push_back(const T& value) {
        own();
        owned_.push_back(value);
        syncOwned();
    }
    void append(const T* first, const T* last) {
        own();
        owned_.insert(owned_.end(), first, last);
        syncOwned();
    }

private:
    void own() {
        if (!keep_) return;
        owned_.assign(data_, data_ + size_);
        keep_.reset();
        syncOwned();
    }
    void sync(const Block& other) {
        if (keep_) {
            data_ = other.data_;
            size_ = other.size_;
        } else {
            syncOwned();
        }
    }
    void syncOwned() {
        data_ = owned_.data();
        size_ = owned_.size();
    }
    void reset() {
        owned_.clear();
        keep_.reset();
        syncOwned();
    }

    std::vector<T, HugeAllocator<T>> owned_;
    std::shared_ptr<const void> keep_;
    // Where the elements are, owned or viewed: one load on the look-up path.
    const T* data_ = nullptr;
    std::size_t size_ = 0;
};
