// Buffers of a band's rows, a few megabytes each, on huge pages where the
// kernel offers them. A band's rows are written once into fresh memory and
// that memory's first touch dominated their cost: 4 KB at a time it took a
// page fault per 4 KB, nearly 500 for a band of an A4 page at 600 dpi, and
// a fault costs microseconds. A buffer of a megabyte or more is taken in
// whole 2 MB pieces aligned to 2 MB and marked for transparent huge pages,
// which the kernel then backs with one fault each (where huge pages are
// off, the marking changes nothing). Smaller buffers come from the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace huecl::pages {

namespace huge_pages {
inline constexpr std::size_t pageBytes = std::size_t{2} << 20;
inline constexpr std::size_t smallestBuffer = std::size_t{1} << 20;
// Aligned memory of `bytes` rounded up to whole huge pages, marked for
// them; nullptr if there is none.
void* allocate(std::size_t bytes) noexcept;
void release(void* memory) noexcept;
}  // namespace huge_pages

template <typename T>
struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <typename U>
    explicit HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t bytes = count * sizeof(T);
        if (bytes < huge_pages::smallestBuffer) return std::allocator<T>().allocate(count);
        void* memory = huge_pages::allocate(bytes);
        if (!memory) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t count) noexcept {
        if (count * sizeof(T) < huge_pages::smallestBuffer)
            std::allocator<T>().deallocate(memory, count);
        else
            huge_pages::release(memory);
    }
    template <typename U>
    bool operator==(const HugePageAllocator<U>&) const noexcept {
        return true;
    }
};

// A band's source rows, as the pipeline's workers take them.
using RowBuffer = std::vector<std::uint8_t, HugePageAllocator<std::uint8_t>>;

}  // namespace huecl::pages
