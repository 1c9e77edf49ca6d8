// Huge-page memory for row buffers.
#include "pages/row_buffer.h"

#include <sys/mman.h>

#include <cstdlib>

namespace huecl::pages::huge_pages {

void* allocate(std::size_t bytes) noexcept {
    if (bytes > SIZE_MAX - pageBytes) return nullptr;
    const std::size_t rounded = (bytes + pageBytes - 1) & ~(pageBytes - 1);
    void* memory = std::aligned_alloc(pageBytes, rounded);
    // Only advice: memory the kernel will not back with huge pages still works.
    if (memory) ::madvise(memory, rounded, MADV_HUGEPAGE);
    return memory;
}

void release(void* memory) noexcept { std::free(memory); }

}  // namespace huecl::pages::huge_pages
