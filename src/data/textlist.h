#pragma once
// A list of 8-bit texts held in one buffer: a million short entries without a million
// allocations, and copied as two blocks.
#include "data/block.h"

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

class ImageReader;
class ImageWriter;

class TextList {
public:
    TextList() = default;
    TextList(std::initializer_list<std::string_view> texts);
    TextList(const std::vector<std::string>& texts);

    std::size_t size() const { return refs_.size(); }
    bool empty() const { return refs_.empty(); }
    std::string_view operator[](std::size_t i) const { return {chars_.data() + refs_[i].offset, refs_[i].length}; }
    // All the texts' characters, and where a text begins among them.
    std::string_view characters() const { return {chars_.data(), chars_.size()}; }
    std::uint32_t offsetOf(std::size_t i) const { return refs_[i].offset; }

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;
        const_iterator(const TextList* list, std::size_t i) : list_(list), i_(i) {}
        std::string_view operator*() const { return (*list_)[i_]; }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator!=(const const_iterator& o) const { return i_ != o.i_; }
        bool operator==(const const_iterator& o) const { return i_ == o.i_; }

    private:
        const TextList* list_;
        std::size_t i_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, refs_.size()}; }

    void clear();
    void reserve(std::size_t texts, std::size_t chars);
    void push_back(std::string_view text);
    // Appends the texts of another list, leaving this list in ascending byte order.
    void mergeSorted(TextList added);
    void sort();
    void append(const TextList& added);

    std::vector<std::string> strings() const;
    // Whether the texts are views into a mapped file.
    bool isView() const { return chars_.isView(); }

    void save(ImageWriter& out) const;
    // False (and the list empty) when the image does not hold a well-formed list.
    bool load(ImageReader& in);
    bool operator==(const std::vector<std::string>& other) const;
    bool operator==(const TextList& other) const;

private:
    struct Ref {
        std::uint32_t offset;
        std::uint32_t length;
    };
    // Blocks keep their bytes where they are when the list is moved, so views into them
    // stay good.
    Block<char> chars_;
    Block<Ref> refs_;
};
