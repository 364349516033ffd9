#pragma once
// An allocator for the large buffers of the link lists: blocks of several megabytes go
// on huge pages, where touching fresh memory costs a fraction of what it costs in
// small pages. Small blocks come from the ordinary heap.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

inline constexpr std::size_t HugePage = 2u << 20;

// Asks for huge pages for the whole huge pages within these bytes, before they are touched.
inline void adviseHugePages(void* p, std::size_t bytes) {
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t first = (at + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t last = (at + bytes) & ~(HugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

template <class T>
struct HugeAllocator {
    using value_type = T;
    static constexpr std::size_t Page = HugePage;

    HugeAllocator() = default;
    template <class U>
    HugeAllocator(const HugeAllocator<U>&) {}

    T* allocate(std::size_t n) {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < 2 * Page) {
            if (void* p = std::malloc(bytes)) return static_cast<T*>(p);
            throw std::bad_alloc();
        }
        const std::size_t rounded = (bytes + Page - 1) / Page * Page;
        void* p = std::aligned_alloc(Page, rounded);
        if (!p) throw std::bad_alloc();
        adviseHugePages(p, rounded);
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) { std::free(p); }

    template <class U>
    bool operator==(const HugeAllocator<U>&) const {
        return true;
    }
};
