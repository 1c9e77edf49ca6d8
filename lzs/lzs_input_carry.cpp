// The decompressor's carried input bytes.
#include "lzs/lzs_input_carry.h"

#include "lzs/lzs_output_window.h"

namespace huecl::lzs {
namespace {

// Puts count bytes at `carry` + at; from may lie inside `carry` behind them.
void putIntoCarry(std::uint8_t* carry, std::uint32_t at, const std::uint8_t* from, std::uint32_t count) noexcept {
    for (std::uint32_t index = 0; index < count && at + index < kCarrySize; ++index) carry[at + index] = from[index];
}

}  // namespace

bool DecoderInput::startFromCarry() noexcept {
    if (carryCount == 0) return false;
    const std::uint32_t added = smaller(sourceCount_, kNewCarryBytes);
    putIntoCarry(carry_, carryCount, sourcePos, added);
    oldCarry_ = carryCount;
    decodePos = carry_;
    decodeEnd = carry_ + carryCount + added;
    return true;
}

void DecoderInput::returnToSource() noexcept {
    sourcePos += (decodePos - carry_) - oldCarry_;
    restartSource();
}

void DecoderInput::keep(const std::uint8_t* until) noexcept {
    const std::uint32_t left = static_cast<std::uint32_t>(until - decodePos);
    putIntoCarry(carry_, 0, decodePos, left);
    carryCount = left;
}

}  // namespace huecl::lzs
