// The decompressor's input side. The decoder reads four source bytes at a
// time, so the last bytes of a call's source may hold the start of a token
// whose rest arrives with the next call. Such bytes stay in `carry` (at most
// three), and the next call decodes from `carry` with up to four of its own
// bytes put behind them, until the old bytes are used; then it goes on in
// its own source at the corresponding byte.
#pragma once

#include <cstdint>

namespace huecl::lzs {

inline constexpr std::uint32_t kCarryKept = 3;      // old bytes kept between calls, at most
inline constexpr std::uint32_t kNewCarryBytes = 4;  // the caller's bytes put behind them
inline constexpr std::uint32_t kCarrySize = kCarryKept + kNewCarryBytes;

// Where the decoder reads: the caller's source, or `carry`.
class DecoderInput {
public:
    DecoderInput(const std::uint8_t* source, std::uint32_t sourceCount, std::uint8_t* carry,
                 std::uint32_t carried) noexcept
        : sourcePos(source), sourceEnd(source + sourceCount), decodePos(source), decodeEnd(sourceEnd),
          carryCount(carried), carry_(carry), sourceCount_(sourceCount) {}

    // With carried bytes: puts up to four of the caller's behind them and
    // reads from `carry`. Returns whether it did.
    bool startFromCarry() noexcept;
    bool oldCarryUsed() const noexcept { return decodePos >= carry_ + oldCarry_; }
    // Whether the caller's source can feed a whole read of the decoder.
    bool sourceHoldsARead() const noexcept { return sourceCount_ >= kNewCarryBytes; }
    // Back to the caller's source, at the byte after those decoded from `carry`.
    void returnToSource() noexcept;
    // Back to the caller's source where it was, the carried bytes unused.
    void restartSource() noexcept {
        decodePos = sourcePos;
        decodeEnd = sourceEnd;
    }
    // Keeps the bytes from decodePos to `until` (in `carry` or the caller's
    // source) as the carried bytes.
    void keep(const std::uint8_t* until) noexcept;
    const std::uint8_t* oldCarryEnd() const noexcept { return carry_ + oldCarry_; }
    const std::uint8_t* carry() const noexcept { return carry_; }

    const std::uint8_t* sourcePos;  // the caller's source position to hand back
    const std::uint8_t* const sourceEnd;
    const std::uint8_t* decodePos;  // where the decoder reads now
    const std::uint8_t* decodeEnd;
    std::uint32_t carryCount;

private:
    std::uint8_t* const carry_;
    const std::uint32_t sourceCount_;
    std::uint32_t oldCarry_ = 0;  // carried bytes from earlier calls while decoding from `carry`
};

}  // namespace huecl::lzs
