#include "colour/later/draw_info.h"

namespace huecl::later {

std::uint32_t bitsPerDeviceDot(std::uint32_t ditherMode) noexcept {
    switch (ditherMode) {
        case 0:
        case 2: return 1;
        case 3: return 2;
        default: return 4;
    }
}

std::uint32_t setUpDrawInformation(std::uint32_t ditherMode, QvrDrwInf& draw, std::uint32_t bufferBytes) noexcept {
    // Positions are unsigned 32-bit so that huge coordinates wrap exactly as
    // in the 32-bit library. A zero divisor would fault there; here the
    // fields it would produce stay as they were and no rows fit.
    if (draw.devResX != 0) {
        draw.srcX = (draw.devX * draw.srcResX + draw.devResX / 2) / draw.devResX;
    }
    if (draw.devResY != 0) {
        draw.srcY = (draw.devY * draw.srcResY + draw.devResY / 2) / draw.devResY;
    }
    if (draw.srcResX == 0) return 0;
    draw.devWidth =
        ((draw.srcX + draw.srcWidth) * draw.devResX) / draw.srcResX - (draw.srcX * draw.devResX) / draw.srcResX;
    draw.lineBytes = (draw.devWidth * bitsPerDeviceDot(ditherMode) + 7) / 8;
    if (draw.lineBytes == 0 || draw.devResY == 0) return 0;
    // The rows that fit are counted as QvrColDizPrc counts the rows it
    // writes, in 64-bit products: where the 32-bit product wrapped, this
    // count and those rows disagreed, and the rows ran past the buffer.
    const std::uint64_t rows = (std::uint64_t{bufferBytes / draw.lineBytes} * draw.srcResY) / draw.devResY;
    return rows > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(rows);
}

}  // namespace huecl::later
