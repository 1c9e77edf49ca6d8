// While a call keeps a source or destination pair in its history, the next
// call takes the true positions from there, whatever the caller's variables
// hold: the same values, the pair an earlier refusal put back, or another
// buffer altogether. A host that disturbs its variables in those ways must
// get the very results and bytes of an undisturbed run, and no byte outside
// the buffers it meant may change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/lzs_compress_test_support.h"
#include "huecl32.h"

namespace {

using lzs_test::Bytes;

// A buffer with guard bytes on both sides.
class Guarded {
public:
    explicit Guarded(std::size_t size, std::uint8_t fill = 0) : bytes_(size + 2 * kGuard, kGuardByte) {
        std::fill(data(), data() + size, fill);
    }
    std::uint8_t* data() { return bytes_.data() + kGuard; }
    std::size_t size() const { return bytes_.size() - 2 * kGuard; }
    Bytes contents() const { return Bytes(bytes_.begin() + kGuard, bytes_.end() - kGuard); }
    bool guardsIntact() const {
        const auto intact = [](auto first, auto last) {
            return std::all_of(first, last, [](std::uint8_t byte) { return byte == kGuardByte; });
        };
        return intact(bytes_.begin(), bytes_.begin() + kGuard) && intact(bytes_.end() - kGuard, bytes_.end());
    }

private:
    static constexpr std::size_t kGuard = 64;
    static constexpr std::uint8_t kGuardByte = 0xA5;
    Bytes bytes_;
};

// What a host does to its variables while the library keeps a pair.
enum class Disturbance {
    None,
    RefusedCallFirst,  // a call the library refuses after restoring the saved pairs
    OtherBuffers,      // pointers and counts of unrelated buffers
};

const char* nameOf(Disturbance disturbance) {
    switch (disturbance) {
        case Disturbance::None: return "none";
        case Disturbance::RefusedCallFirst: return "refused call first";
        case Disturbance::OtherBuffers: return "other buffers";
    }
    return "?";
}

struct HostRun {
    std::vector<std::uint32_t> results;
    Bytes output;
    bool guardsIntact = true;
    bool decoysUntouched = true;
};

// The unrelated buffers a disturbing host passes, kept apart so that any
// write into them shows.
struct Decoys {
    static constexpr std::uint8_t kFill = 0x3C;
    Guarded source{64, kFill};
    Guarded destination{64, kFill};
    bool untouched() const {
        return source.guardsIntact() && destination.guardsIntact() && source.contents() == Bytes(64, kFill) &&
               destination.contents() == Bytes(64, kFill);
    }
    // Replaces the caller's variables of each saved pair.
    void replace(bool sourceSaved, bool destinationSaved, std::uint8_t*& src, std::uint32_t& srcCount,
                 std::uint8_t*& dst, std::uint32_t& dstCount) {
        if (sourceSaved) {
            src = source.data();
            srcCount = 64;
        }
        if (destinationSaved) {
            dst = destination.data() + 8;
            dstCount = 56;
        }
    }
};

bool sourceSaved(std::uint32_t result) { return (result & (LZS_RESULT_SOURCE_EMPTY | LZS_RESULT_STREAM_END)) == 0; }
bool destinationSaved(std::uint32_t result) { return (result & (LZS_RESULT_DEST_FULL | LZS_RESULT_STREAM_END)) == 0; }

// Compresses input in source pieces of `piece` bytes (flag 0, the last one
// with flag 1) into consecutive output rooms of `room` bytes.
HostRun compressDisturbed(const Bytes& input, std::size_t piece, std::uint32_t room, Disturbance disturbance) {
    HostRun run;
    Guarded source(input.size() + 1);
    std::copy(input.begin(), input.end(), source.data());
    Guarded output(input.size() * 2 + 64 + room);
    Decoys decoys;
    Bytes history(LZS_SizeOfCompressionHistory());
    LZS_InitCompressionHistory(history.data());

    std::size_t given = std::min(piece, input.size());
    std::uint8_t* src = source.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(given);
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = room;
    std::uint32_t previous = LZS_RESULT_SOURCE_EMPTY | LZS_RESULT_DEST_FULL;  // nothing saved yet
    for (int call = 0; call < 100000; ++call) {
        const std::uint32_t flags = given == input.size() ? LZS_FLAG_CLOSE_AT_END : 0;
        if (disturbance == Disturbance::RefusedCallFirst && (sourceSaved(previous) || destinationSaved(previous))) {
            // A changed flag bit of a saved pair is refused once that pair is back.
            const std::uint32_t changed = sourceSaved(previous) ? LZS_FLAG_CLOSE_AT_END : LZS_FLAG_CLOSE_WHEN_FULL;
            run.results.push_back(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), flags ^ changed, 8));
        }
        if (disturbance == Disturbance::OtherBuffers) {
            decoys.replace(sourceSaved(previous), destinationSaved(previous), src, srcCount, dst, dstCount);
        }
        const std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), flags, 8);
        run.results.push_back(result);
        previous = result;
        if (result == 0) break;
        if ((result & LZS_RESULT_STREAM_END) != 0 && flags == LZS_FLAG_CLOSE_AT_END && srcCount == 0) break;
        if (!destinationSaved(result) && dstCount == 0) dstCount = room;
        if (!sourceSaved(result) && srcCount == 0) {
            const std::size_t next = std::min(piece, input.size() - given);
            src = source.data() + given;
            srcCount = static_cast<std::uint32_t>(next);
            given += next;
        }
    }
    run.output.assign(output.data(), dst);
    run.guardsIntact = source.guardsIntact() && output.guardsIntact();
    run.decoysUntouched = decoys.untouched();
    return run;
}

// Decompresses a stream fed in pieces of `piece` bytes into consecutive
// output rooms of `room` bytes.
HostRun decompressDisturbed(const Bytes& stream, std::size_t expectedSize, std::size_t piece, std::uint32_t room,
                            Disturbance disturbance) {
    HostRun run;
    Guarded source(stream.size());
    std::copy(stream.begin(), stream.end(), source.data());
    Guarded output(expectedSize + room);
    Decoys decoys;
    Bytes history(LZS_SizeOfDecompressionHistory());
    LZS_InitDecompressionHistory(history.data());

    std::size_t given = std::min(piece, stream.size());
    std::uint8_t* src = source.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(given);
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = room;
    std::uint32_t previous = LZS_RESULT_SOURCE_EMPTY | LZS_RESULT_DEST_FULL;
    for (int call = 0; call < 1000000; ++call) {
        if (disturbance == Disturbance::RefusedCallFirst && (sourceSaved(previous) || destinationSaved(previous))) {
            // Flag 1 is refused after the saved pairs are back in the variables.
            run.results.push_back(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.data(), 1));
        }
        if (disturbance == Disturbance::OtherBuffers) {
            decoys.replace(sourceSaved(previous), destinationSaved(previous), src, srcCount, dst, dstCount);
        }
        const std::uint32_t result = LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.data(), 0);
        run.results.push_back(result);
        previous = result;
        if (result == 0 || (result & LZS_RESULT_STREAM_END) != 0) break;
        if (!destinationSaved(result) && dstCount == 0) dstCount = room;
        if (!sourceSaved(result) && srcCount == 0) {
            const std::size_t next = std::min(piece, stream.size() - given);
            src = source.data() + given;
            srcCount = static_cast<std::uint32_t>(next);
            given += next;
        }
    }
    run.output.assign(output.data(), dst);
    run.guardsIntact = source.guardsIntact() && output.guardsIntact();
    run.decoysUntouched = decoys.untouched();
    return run;
}

// The results of the calls the host meant, without the refused ones in
// between (whose zeros the undisturbed run does not have).
std::vector<std::uint32_t> withoutRefusals(const std::vector<std::uint32_t>& results) {
    std::vector<std::uint32_t> kept;
    for (const std::uint32_t result : results) {
        if (result != 0) kept.push_back(result);
    }
    return kept;
}

struct Split {
    std::size_t piece;
    std::uint32_t room;
};

TEST(LzsSavedPairs, CompressorTakesItsSavedPairsWhateverTheVariablesHold) {
    const Bytes input = lzs_test::textBytes(5000, 11);
    for (const Split split : {Split{1000, 16}, Split{97, 40}, Split{5000, 23}, Split{300, 700}}) {
        const HostRun plain = compressDisturbed(input, split.piece, split.room, Disturbance::None);
        ASSERT_EQ(lzs_test::decodeStream(plain.output).output, input);
        for (const Disturbance disturbance : {Disturbance::RefusedCallFirst, Disturbance::OtherBuffers}) {
            SCOPED_TRACE(std::string(nameOf(disturbance)) + ", piece " + std::to_string(split.piece) + ", room " +
                         std::to_string(split.room));
            const HostRun disturbed = compressDisturbed(input, split.piece, split.room, disturbance);
            EXPECT_EQ(disturbed.output, plain.output);
            EXPECT_EQ(withoutRefusals(disturbed.results), plain.results);
            EXPECT_TRUE(disturbed.guardsIntact);
            EXPECT_TRUE(disturbed.decoysUntouched);
            if (disturbance == Disturbance::RefusedCallFirst) {
                EXPECT_GT(disturbed.results.size(), plain.results.size()) << "no pair was ever saved";
            }
        }
    }
}

TEST(LzsSavedPairs, DecompressorTakesItsSavedPairsWhateverTheVariablesHold) {
    // A small stream one byte per call into a large buffer (the destination
    // stays saved for hundreds of calls), and a long one in mixed splits.
    const Bytes shortInput = lzs_test::textBytes(700, 5);
    const Bytes longInput = lzs_test::ditheredPlanes(9000);
    struct Case {
        const Bytes* input;
        Split split;
    };
    for (const Case& entry : {Case{&shortInput, {1, 3100}}, Case{&longInput, {1, 7}}, Case{&longInput, {13, 1}},
                              Case{&longInput, {64, 100}}, Case{&longInput, {5, 2500}}}) {
        const Bytes& input = *entry.input;
        const Bytes stream = lzs_test::compressOnce(input, LZS_FLAG_CLOSE_AT_END, 8).output;
        const HostRun plain =
            decompressDisturbed(stream, input.size(), entry.split.piece, entry.split.room, Disturbance::None);
        ASSERT_EQ(plain.output, input);
        for (const Disturbance disturbance : {Disturbance::RefusedCallFirst, Disturbance::OtherBuffers}) {
            SCOPED_TRACE(std::string(nameOf(disturbance)) + ", piece " + std::to_string(entry.split.piece) + ", room " +
                         std::to_string(entry.split.room));
            const HostRun disturbed =
                decompressDisturbed(stream, input.size(), entry.split.piece, entry.split.room, disturbance);
            EXPECT_EQ(disturbed.output, input);
            EXPECT_EQ(withoutRefusals(disturbed.results), plain.results);
            EXPECT_TRUE(disturbed.guardsIntact);
            EXPECT_TRUE(disturbed.decoysUntouched);
            if (disturbance == Disturbance::RefusedCallFirst) {
                EXPECT_GT(disturbed.results.size(), plain.results.size()) << "no pair was ever saved";
            }
        }
    }
}

}  // namespace
