// The decoder's own window.
#include "lzs/lzs_output_window.h"

namespace huecl::lzs {

void keepWindowTail(std::uint8_t* window, std::uint32_t held, std::uint32_t keep) noexcept {
    if (held > keep) copyBytes(window, window + (held - keep), keep);
}

std::uint32_t appendHistory(std::uint8_t* window, std::uint32_t held, const std::uint8_t* end,
                            std::uint32_t count) noexcept {
    if (held + count > kMaxOffset) {
        // Of the old bytes only those that the new ones leave within reach.
        const std::uint32_t keep = count > kMaxOffset ? 0 : kMaxOffset - count;
        keepWindowTail(window, held, keep);
        held = keep;
    }
    const std::uint32_t tail = smaller(count, kMaxOffset);
    copyBytes(window + held, end - tail, tail);
    return held + tail;
}

}  // namespace huecl::lzs
