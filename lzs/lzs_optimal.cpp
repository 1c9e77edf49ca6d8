// LZS optimal-parse encoder. A match finder (the newest position of each
// byte pair for two-byte matches, and a binary tree per hash of three bytes,
// newest position at the root, for longer ones) gives at every position the
// longest match at a short offset and the longest at any offset in the
// window;
// since a token's bits depend on the offset only through its form, these
// two are all the choice there is. A forward pass over a piece of the
// block then keeps the cheapest way to reach each position, and the
// cheapest path to the piece's end is written out.
#include "lzs/lzs_optimal.h"

#include "common/byte_access.h"

#include <array>
#include <bit>

namespace huecl::lzs {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the match comparison finds the first differing byte from the low end of a word");

// Positions in the tree count from this, so that an empty head (0) lies
// beyond the window of every position.
constexpr std::uint32_t kPositionBase = kOptimalTreeSlots;
constexpr std::uint64_t kUnreached = ~std::uint64_t{0};
constexpr std::uint64_t kCostMask = ~std::uint64_t{0} << 32;
// Match lengths up to this are weighed in one fixed round at every position.
constexpr std::uint32_t kRelaxWindow = 9;
static_assert(kRelaxWindow < kOptimalNiceLength && kRelaxWindow <= kOptimalNodeSlack);

std::uint32_t pairKey(const std::uint8_t* at) noexcept { return (static_cast<std::uint32_t>(at[0]) << 8) | at[1]; }

// Three bytes hashed to kTripleKeys (multiplicative: the high bits of the
// product mix all three).
std::uint32_t tripleKey(const std::uint8_t* at) noexcept {
    const std::uint32_t triple =
        (static_cast<std::uint32_t>(at[0]) << 16) | (static_cast<std::uint32_t>(at[1]) << 8) | at[2];
    return (triple * 2654435761u) >> (32 - std::countr_zero(kTripleKeys));
}

// Bytes equal from `from` on, at most limit in all.
[[gnu::always_inline]] inline std::uint32_t extendMatch(const std::uint8_t* a, const std::uint8_t* b,
                                                        std::uint32_t from, std::uint32_t limit) noexcept {
    std::uint32_t length = from;
    while (limit - length >= sizeof(std::uint64_t)) {
        const std::uint64_t difference = bytes::load64(a + length) ^ bytes::load64(b + length);
        if (difference != 0) return length + static_cast<std::uint32_t>(std::countr_zero(difference)) / 8;
        length += sizeof(std::uint64_t);
    }
    while (length < limit && a[length] == b[length]) ++length;
    return length;
}

// Longest matches at one position: at an offset below 128, and at any
// offset (0 length: none).
struct Matches {
    std::uint32_t shortLength = 0;
    std::uint32_t shortOffset = 0;
    std::uint32_t longest = 0;
    std::uint32_t longestOffset = 0;
};

class MatchFinder {
public:
    MatchFinder(OptimalWorkspace& work, const std::uint8_t* block, std::uint32_t size) noexcept
        : head_(work.head), pairHead_(work.pairHead), tree_(work.tree), block_(block), size_(size) {
        __builtin_memset(head_, 0, sizeof work.head);
        __builtin_memset(pairHead_, 0, sizeof work.pairHead);
    }

    // Enters position `at` (which needs a byte after it) and returns its
    // longest matches. A match of two bytes is the newest position of the
    // pair; longer ones come from the tree of the three bytes' hash, whose
    // path from the root visits positions newest first and passes, for
    // every length, the nearest position that matches at least that long:
    // the nearest matches are all seen. (A position of another three bytes
    // of the same hash sits in the tree as well and compares as what it is.)
    Matches enter(std::uint32_t at) noexcept {
        const std::uint8_t* const current = block_ + at;
        const std::uint32_t left = size_ - at;
        const std::uint32_t position = at + kPositionBase;
        Matches found;
        const std::uint32_t pair = pairKey(current);
        // The table keeps the low 16 bits of each position: an entry 65536
        // positions old, or an empty one, may come back as a near offset,
        // but the bytes there are then another pair (else a newer entry had
        // replaced it). Such an offset lies within the block; the check
        // against `at` keeps that so whatever the table holds.
        const std::uint32_t pairOffset = (position - pairHead_[pair]) & 0xFFFF;
        pairHead_[pair] = static_cast<std::uint16_t>(position);
        if (pairOffset - 1 < kMaxOffset && pairOffset <= at &&
            bytes::load16(current - pairOffset) == bytes::load16(current)) {
            found.longest = kMinMatchLength;
            found.longestOffset = pairOffset;
            if (pairOffset < kShortOffsetLimit) {
                found.shortLength = kMinMatchLength;
                found.shortOffset = pairOffset;
            }
        }
        // The last two positions search no tree: no later one looks back
        // for three bytes.
        if (left < 3) return found;
        const std::uint32_t limit = left < kOptimalNiceLength ? left : kOptimalNiceLength;
        const std::uint32_t key = tripleKey(current);
        std::uint32_t candidate = head_[key];
        head_[key] = position;
        std::uint32_t* smaller = &tree_[2 * (position % kOptimalTreeSlots)];
        std::uint32_t* larger = smaller + 1;
        std::uint32_t smallerLength = 0;
        std::uint32_t largerLength = 0;
        // Candidates come nearest first, so the short offsets are all
        // before the long ones, and each reported match is longer than the
        // one before it.
        bool shortOffsets = true;
        for (;;) {
            const std::uint32_t offset = position - candidate;
            if (offset > kMaxOffset) {
                *smaller = 0;
                *larger = 0;
                break;
            }
            std::uint32_t* const children = &tree_[2 * (candidate % kOptimalTreeSlots)];
            const std::uint8_t* const earlier = current - offset;
            const std::uint32_t known = smallerLength < largerLength ? smallerLength : largerLength;
            const std::uint32_t length = extendMatch(current, earlier, known, limit);
            if (length > found.longest) {
                found.longest = length;
                found.longestOffset = offset;
                if (shortOffsets) {
                    shortOffsets = offset < kShortOffsetLimit;
                    if (shortOffsets) {
                        found.shortLength = length;
                        found.shortOffset = offset;
                    }
                }
            }
            if (length == limit) {
                // Equal as far as the tree compares: the candidate's
                // children become this position's.
                *smaller = children[0];
                *larger = children[1];
                break;
            }
            if (earlier[length] < current[length]) {
                *smaller = candidate;
                smaller = &children[1];
                candidate = *smaller;
                smallerLength = length;
            } else {
                *larger = candidate;
                larger = &children[0];
                candidate = *larger;
                largerLength = length;
            }
        }
        return found;
    }

private:
    std::uint32_t* const head_;
    std::uint16_t* const pairHead_;
    std::uint32_t* const tree_;
    const std::uint8_t* const block_;
    const std::uint32_t size_;
};

// Bits MSB first into a 64-bit buffer, stored a byte at a time.
class BitWriter {
public:
    explicit BitWriter(std::uint8_t* out) noexcept : out_(out), start_(out) {}

    void put(std::uint32_t code, std::uint32_t bits) noexcept {
        buffer_ = (buffer_ << bits) | code;
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            *out_++ = static_cast<std::uint8_t>(buffer_ >> count_);
        }
    }

    void putMatch(std::uint32_t offset, std::uint32_t length) noexcept {
        if (offset < kShortOffsetLimit) {
            put((kShortOffsetPrefix << kShortOffsetBits) | offset, kShortOffsetCodeBits);
        } else {
            put((kLongOffsetPrefix << kLongOffsetBits) | offset, kLongOffsetCodeBits);
        }
        if (length < kFirstEscapedLength) {
            const LengthCode code = shortLengthCode(length);
            put(code.value, code.bits);
            return;
        }
        put(kLengthEscape, kLengthNibbleBits);
        std::uint32_t rest = length - kFirstEscapedLength;
        while (rest >= kLengthNibbleStep) {
            put(kLengthEscape, kLengthNibbleBits);
            rest -= kLengthNibbleStep;
        }
        put(rest, kLengthNibbleBits);
    }

    // The end marker, then zero bits to the byte end.
    std::size_t close() noexcept {
        put(kEndMarker, kEndMarkerBits);
        if (count_ != 0) *out_++ = static_cast<std::uint8_t>(buffer_ << (8 - count_));
        return static_cast<std::size_t>(out_ - start_);
    }

private:
    std::uint8_t* out_;
    std::uint8_t* const start_;
    std::uint64_t buffer_ = 0;
    std::uint32_t count_ = 0;
};

// Bits of a whole match token: flag, form and offset, then the length code.
constexpr std::uint32_t matchBits(std::uint32_t offsetCodeBits, std::uint32_t length) noexcept {
    return offsetCodeBits + lengthCodeBits(length);
}
static_assert(matchBits(kShortOffsetCodeBits, 2) == 11 && matchBits(kLongOffsetCodeBits, 2) == 15);

// What a match of each length below kOptimalNiceLength adds to a node:
// its bits in the high word, its length in the low one (offset 0).
using StepTable = std::array<std::uint64_t, kOptimalNiceLength>;
constexpr StepTable matchSteps(std::uint32_t offsetCodeBits) noexcept {
    StepTable steps{};
    for (std::uint32_t length = kMinMatchLength; length < kOptimalNiceLength; ++length)
        steps[length] = (std::uint64_t{matchBits(offsetCodeBits, length)} << 32) | length;
    return steps;
}
constexpr StepTable kShortMatchSteps = matchSteps(kShortOffsetCodeBits);
constexpr StepTable kLongMatchSteps = matchSteps(kLongOffsetCodeBits);

class OptimalParser {
public:
    OptimalParser(OptimalWorkspace& work, std::span<const std::uint8_t> block, std::uint8_t* out) noexcept
        : work_(work), block_(block.data()), size_(static_cast<std::uint32_t>(block.size())),
          finder_(work, block.data(), size_), writer_(out) {}

    std::size_t run() noexcept {
        std::uint32_t at = 0;
        while (at < size_) at = parsePiece(at);
        return writer_.close();
    }

private:
    // Parses from start to the piece's end and writes its tokens; returns
    // where the next piece starts.
    std::uint32_t parsePiece(std::uint32_t start) noexcept {
        const std::uint32_t left = size_ - start;
        const std::uint32_t pieceEnd = start + (left < kOptimalPieceBytes ? left : kOptimalPieceBytes);
        std::uint64_t* const node = work_.node;
        // node[] is set up only as far as a token has reached, since many
        // pieces end early at a long match.
        node[0] = 0;
        for (std::uint32_t next = 1; next <= kRelaxWindow; ++next) node[next] = kUnreached;
        std::uint32_t ready = kRelaxWindow;
        for (std::uint32_t at = start; at < pieceEnd; ++at) {
            const std::uint32_t here = at - start;
            const std::uint64_t bitsHere = node[here] & kCostMask;
            // One more node each position keeps the fixed round's reach
            // set up (a long match may have set up more).
            if (ready < here + kRelaxWindow) node[++ready] = kUnreached;
            relax(here + 1, bitsHere + (std::uint64_t{kLiteralBits} << 32) + 1);
            if (size_ - at < kMinMatchLength) continue;
            const Matches found = finder_.enter(at);
            if (found.longest >= kOptimalNiceLength) {
                // Take the long match whole: the path up to here, then it.
                writePath(start, here);
                const std::uint32_t length =
                    extendMatch(block_ + at, block_ + at - found.longestOffset, found.longest, size_ - at);
                writer_.putMatch(found.longestOffset, length);
                const std::uint32_t next = at + length;
                for (std::uint32_t inside = at + 1; inside < next && size_ - inside >= kMinMatchLength; ++inside) {
                    finder_.enter(inside);
                }
                return next;
            }
            const std::uint32_t reach = pieceEnd - at;
            const std::uint32_t longest = found.longest < reach ? found.longest : reach;
            const std::uint32_t shortest = found.shortLength < longest ? found.shortLength : longest;
            if (longest < kMinMatchLength) continue;
            std::uint64_t* const reached = node + here;
            const std::uint64_t shortStep = bitsHere | (std::uint64_t{found.shortOffset} << 16);
            const std::uint64_t longStep = bitsHere | (std::uint64_t{found.longestOffset} << 16);
            // Most matches are short: their lengths go in one round of fixed
            // length without a branch, as the loops' varying ends cost
            // more in mispredictions than the lengths beyond a match do.
            // A length beyond a match is weighed as unreachable (all ones).
            // The long form costs more bits than the short one, so where
            // both reach a length the short one wins by itself.
            for (std::uint32_t length = kMinMatchLength; length <= kRelaxWindow; ++length) {
                const std::uint64_t longWay =
                    (longStep + kLongMatchSteps[length]) | (std::uint64_t{0} - std::uint64_t{length > longest});
                const std::uint64_t shortWay =
                    (shortStep + kShortMatchSteps[length]) | (std::uint64_t{0} - std::uint64_t{length > shortest});
                const std::uint64_t way = shortWay < longWay ? shortWay : longWay;
                reached[length] = way < reached[length] ? way : reached[length];
            }
            if (longest <= kRelaxWindow) continue;
            while (ready < here + longest) node[++ready] = kUnreached;
            std::uint32_t length = kRelaxWindow + 1;
            for (; length <= shortest; ++length) {
                const std::uint64_t way = shortStep + kShortMatchSteps[length];
                reached[length] = way < reached[length] ? way : reached[length];
            }
            for (; length <= longest; ++length) {
                const std::uint64_t way = longStep + kLongMatchSteps[length];
                reached[length] = way < reached[length] ? way : reached[length];
            }
        }
        writePath(start, pieceEnd - start);
        return pieceEnd;
    }

    // Keeps the cheaper way to reach a position (of equal costs, the
    // smaller token).
    void relax(std::uint32_t to, std::uint64_t way) noexcept {
        const std::uint64_t known = work_.node[to];
        work_.node[to] = way < known ? way : known;
    }

    // Writes the cheapest path from the piece's start to `end` (relative):
    // linked forward first through the high words of node[].
    void writePath(std::uint32_t start, std::uint32_t end) noexcept {
        std::uint64_t* const node = work_.node;
        std::uint32_t successor = end;
        for (std::uint32_t to = end; to != 0;) {
            const std::uint32_t from = to - static_cast<std::uint32_t>(node[to] & 0xFFFF);
            node[to] = (std::uint64_t{successor} << 32) | (node[to] & 0xFFFFFFFF);
            successor = to;
            to = from;
        }
        node[0] = std::uint64_t{successor} << 32;
        for (std::uint32_t from = 0; from != end;) {
            const std::uint32_t to = static_cast<std::uint32_t>(node[from] >> 32);
            const std::uint32_t step = static_cast<std::uint32_t>(node[to]);
            const std::uint32_t length = step & 0xFFFF;
            if (length == 1) {
                writer_.put(block_[start + from], kLiteralBits);
            } else {
                writer_.putMatch(step >> 16, length);
            }
            from = to;
        }
    }

    OptimalWorkspace& work_;
    const std::uint8_t* const block_;
    const std::uint32_t size_;
    MatchFinder finder_;
    BitWriter writer_;
};

}  // namespace

std::size_t compressOptimal(std::span<const std::uint8_t> block, std::span<std::uint8_t> out,
                            OptimalWorkspace& work) noexcept {
    if (out.size() < optimalBound(block.size())) return 0;
    OptimalParser parser(work, block, out.data());
    return parser.run();
}

}  // namespace huecl::lzs
