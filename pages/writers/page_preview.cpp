// The proof: band sums in the workers, rows of boxes in the writer,
// proofed and deflated stripes on the builder's threads.
#include "pages/writers/page_preview.h"

#include "huecl32.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numeric>

namespace huecl::pages {
namespace {

std::uint32_t dotValue(const std::uint8_t* row, std::uint32_t dot, std::uint32_t bitsPerDot) {
    const std::uint32_t dotsPerByte = 8 / bitsPerDot;
    const std::uint32_t shift = 8 - bitsPerDot * (dot % dotsPerByte + 1);
    return (row[dot / dotsPerByte] >> shift) & ((1u << bitsPerDot) - 1);
}

// Whether a packed row holds no dot at all, eight bytes at a time.
bool isBlank(const std::uint8_t* row, std::uint32_t bytes) {
    std::uint64_t any = 0;
    std::uint32_t byte = 0;
    for (; byte + 8 <= bytes; byte += 8) {
        std::uint64_t word;
        std::memcpy(&word, row + byte, 8);
        any |= word;
    }
    for (; byte < bytes; ++byte) any |= row[byte];
    return any == 0;
}

}  // namespace

InkResponse inkResponseOf(const std::array<std::span<const std::uint8_t>, 4>& thresholds) {
    InkResponse response;
    for (size_t colorant = 0; colorant < 4; ++colorant) {
        auto& levels = response.levelOfCoverage[colorant];
        const std::span<const std::uint8_t> matrix = thresholds[colorant];
        if (matrix.empty()) {
            for (std::uint32_t step = 0; step <= InkResponse::coverageSteps; ++step)
                levels[step] = static_cast<std::uint8_t>((step * 255 + InkResponse::coverageSteps / 2) /
                                                         InkResponse::coverageSteps);
            continue;
        }
        // coverage[v]: the share of thresholds below v, non-decreasing in v.
        std::array<std::uint32_t, 257> below{};
        for (const std::uint8_t threshold : matrix) ++below[threshold + 1u];
        std::array<double, 256> coverage{};
        std::uint32_t running = 0;
        for (std::uint32_t level = 0; level < 256; ++level) {
            running += below[level];
            coverage[level] = static_cast<double>(running) / static_cast<double>(matrix.size());
        }
        // Levels that print alike (no threshold between them) are one
        // level to the eye; the lowest of them stands for all, so that no
        // ink at all reads as level 0, paper. Coverages between two levels'
        // are read in proportion.
        std::uint32_t level = 0;
        for (std::uint32_t step = 0; step <= InkResponse::coverageSteps; ++step) {
            const double wanted = static_cast<double>(step) / InkResponse::coverageSteps;
            while (level < 255 && coverage[level] < wanted) ++level;
            double exact = level;
            if (level > 0 && coverage[level] > wanted)
                exact = level - 1 + (wanted - coverage[level - 1]) / (coverage[level] - coverage[level - 1]);
            levels[step] = static_cast<std::uint8_t>(std::lround(exact));
        }
    }
    return response;
}

std::uint32_t previewBoxSize(std::uint32_t deviceResolution, std::uint32_t previewResolution) {
    return static_cast<std::uint32_t>(
        std::max<std::uint64_t>(1, (std::uint64_t{deviceResolution} + previewResolution / 2) / previewResolution));
}

std::uint32_t automaticPreviewBoxSize(std::uint32_t deviceResolution, std::uint32_t sourceResolution,
                                      std::uint32_t deviceWidth, std::uint32_t deviceHeight) {
    std::uint32_t box = previewBoxSize(deviceResolution, std::max(1u, sourceResolution));
    auto pixels = [&](std::uint32_t size) { return boxesAcross(deviceWidth, size) * boxesAcross(deviceHeight, size); };
    while (pixels(box) > previewPixelBudget) ++box;
    return box;
}

std::uint64_t previewMemoryBytes(std::uint32_t deviceWidth, std::uint32_t deviceHeight, std::uint32_t boxSize) {
    const std::uint64_t columns = boxesAcross(deviceWidth, boxSize);
    const std::uint64_t rows = std::min<std::uint64_t>(boxesAcross(deviceHeight, boxSize), PreviewBuilder::stripeRows);
    const std::uint64_t windowRadius = boxesAcross(PreviewBuilder::minimumWindowDots, boxSize) / 2;
    // Sums of 4 colorants in 64 bits per box row, kept by the builder and
    // copied into a stripe; the proof's running sums, CMYK, BGR and PNG rows.
    const std::uint64_t boxRowBytes = columns * 4 * 8;
    const std::uint64_t keptRows = rows + 2 * windowRadius + 1;
    return 2 * keptRows * boxRowBytes + columns * (4 * 8 + 5 * 8 + 4 + 3) + rows * (1 + columns * 3);
}

// A box's sum is the difference of two running sums along the row, and a
// running sum at any dot is the sum of the whole bytes before it (one table
// look-up per byte) plus the dots of its own byte before it (one more
// look-up). That touches each byte once and each box twice, where unpacking
// every dot touched each dot.
BandReducer::BandReducer(const PlaneLayout& layout, std::uint32_t boxSize)
    : layout_(layout), boxSize_(boxSize),
      columns_(static_cast<std::uint32_t>(boxesAcross(layout.deviceWidth, boxSize))),
      dotsPerByte_(8 / layout.bitsPerDot), dotShift_(static_cast<std::uint32_t>(std::countr_zero(dotsPerByte_))),
      wholeBytes_(layout.deviceWidth / dotsPerByte_),
      lowestBitOfEachDot_(layout.bitsPerDot == 1   ? ~std::uint64_t{0}
                          : layout.bitsPerDot == 2 ? 0x5555'5555'5555'5555ull
                                                   : 0x1111'1111'1111'1111ull) {
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        const auto packed = static_cast<std::uint8_t>(byte);
        std::uint32_t sum = 0, inked = 0;
        for (std::uint32_t dot = 0; dot < dotsPerByte_; ++dot) {
            byteSums_[byte].levelsBefore[dot] = static_cast<std::uint8_t>(sum);
            const std::uint32_t level = dotValue(&packed, dot, layout.bitsPerDot);
            sum += level;
            inked += level != 0;
        }
        byteSums_[byte].levels = static_cast<std::uint8_t>(sum);
        byteSums_[byte].inked = static_cast<std::uint8_t>(inked);
    }
    // Boxes of at most 12 bits that tile whole bytes in groups of at most 8
    // (two boxes of six 2-bit dots in three bytes, say) take one look-up per
    // box in a table of box sums, where the walk takes one per byte and one
    // more per box. The walk does the rest of the row.
    const std::uint64_t boxBits = std::uint64_t{boxSize} * layout.bitsPerDot;
    if (boxBits > 12) return;
    const auto groupBits = std::lcm(static_cast<std::uint32_t>(boxBits), 8u);
    if (groupBits > 64) return;
    boxesPerGroup_ = groupBits / static_cast<std::uint32_t>(boxBits);
    groupBytes_ = groupBits / 8;
    groupedBoxes_ = layout.deviceWidth / boxSize / boxesPerGroup_ * boxesPerGroup_;
    boxSums_.resize(size_t{1} << boxBits);
    for (std::uint32_t field = 0; field < boxSums_.size(); ++field) {
        std::uint32_t sum = 0, inked = 0;
        for (std::uint32_t dot = 0; dot < boxSize; ++dot) {
            const std::uint32_t level = (field >> (dot * layout.bitsPerDot)) & ((1u << layout.bitsPerDot) - 1);
            sum += level;
            inked += level != 0;
        }
        boxSums_[field] = static_cast<std::uint16_t>(sum | inked << 8);
    }
}

BandColumnSums BandReducer::reduce(std::span<const std::uint8_t* const> planes, std::uint32_t rows,
                                   std::uint32_t firstRow, std::vector<std::uint32_t> storage) const {
    const std::uint32_t firstBoxRow = firstRow / boxSize_;
    const auto boxRows =
        rows == 0 ? 0u : static_cast<std::uint32_t>((std::uint64_t{firstRow} + rows - 1) / boxSize_ - firstBoxRow + 1);
    storage.assign(size_t{boxRows} * columns_ * 4, 0);
    BandColumnSums band{firstRow, rows, std::move(storage)};
    // With one plane it is the black one.
    const std::uint32_t firstColorant = layout_.planeCount == 1 ? 3 : 0;
    for (std::uint32_t plane = 0; plane < layout_.planeCount; ++plane) {
        const std::uint32_t colorant = firstColorant + plane;
        for (std::uint32_t y = 0; y < rows; ++y) {
            const std::uint8_t* row = planes[plane] + size_t{y} * layout_.lineBytes;
            if (isBlank(row, layout_.lineBytes)) continue;  // its sums stay zero
            std::uint32_t* sums =
                band.sums.data() + size_t{(firstRow + y) / boxSize_ - firstBoxRow} * columns_ * 4 + colorant;
            band.inkedDots += sumRow(row, sums);
        }
    }
    return band;
}

std::uint64_t BandReducer::inkedDots(std::span<const std::uint8_t* const> planes, std::uint32_t rows) const {
    std::uint64_t inked = 0;
    for (std::uint32_t plane = 0; plane < layout_.planeCount; ++plane) {
        for (std::uint32_t y = 0; y < rows; ++y) {
            const std::uint8_t* row = planes[plane] + size_t{y} * layout_.lineBytes;
            if (isBlank(row, layout_.lineBytes)) continue;
            // Eight bytes at a time: a dot is inked when any of its bits is,
            // so the bits of each dot are folded into its lowest and
            // counted. Dots never straddle a byte, so the masks repeat
            // byte by byte and the word's byte order does not matter.
            std::uint32_t byte = 0;
            for (; byte + 8 <= wholeBytes_; byte += 8) {
                std::uint64_t word;
                std::memcpy(&word, row + byte, sizeof word);
                if (layout_.bitsPerDot >= 2) word |= word >> 1;
                if (layout_.bitsPerDot == 4) word |= word >> 2;
                inked += static_cast<std::uint64_t>(std::popcount(word & lowestBitOfEachDot_));
            }
            std::uint32_t inkedInRow = 0;
            for (; byte < wholeBytes_; ++byte) inkedInRow += byteSums_[row[byte]].inked;
            inked += inkedInRow;
            for (std::uint32_t dot = wholeBytes_ * dotsPerByte_; dot < layout_.deviceWidth; ++dot)
                inked += dotValue(row, dot, layout_.bitsPerDot) != 0;
        }
    }
    return inked;
}

template <typename BytesPerGroup, typename BoxesInGroup>
std::uint32_t BandReducer::sumGroups(const std::uint8_t* row, std::uint32_t* sums, BytesPerGroup bytesPerGroup,
                                     BoxesInGroup boxesInGroup) const {
    std::uint32_t inked = 0;
    std::uint32_t column = 0;
    for (const std::uint8_t* group = row; column < groupedBoxes_; group += bytesPerGroup) {
        std::uint64_t word = 0;
        for (std::uint32_t byte = 0; byte < bytesPerGroup; ++byte) word = word << 8 | group[byte];
        const std::uint32_t bitsPerBox = bytesPerGroup * 8 / boxesInGroup;
        for (std::uint32_t box = 0; box < boxesInGroup; ++box, ++column) {
            const std::uint32_t boxSum =
                boxSums_[(word >> (bitsPerBox * (boxesInGroup - 1 - box))) & ((1u << bitsPerBox) - 1)];
            sums[size_t{column} * 4] += boxSum & 0xFF;
            inked += boxSum >> 8;
        }
    }
    return inked;
}

std::uint64_t BandReducer::sumRow(const std::uint8_t* row, std::uint32_t* sums) const {
    // The grouped boxes first, with the usual groups' shape known to the
    // compiler; groupedBoxes_ is 0 where no table was built.
    using std::integral_constant;
    std::uint32_t inked = 0;
    if (groupBytes_ == 3 && boxesPerGroup_ == 2)
        inked = sumGroups(row, sums, integral_constant<std::uint32_t, 3>(), integral_constant<std::uint32_t, 2>());
    else if (groupBytes_ == 1 && boxesPerGroup_ == 1)
        inked = sumGroups(row, sums, integral_constant<std::uint32_t, 1>(), integral_constant<std::uint32_t, 1>());
    else if (groupedBoxes_ != 0)
        inked = sumGroups(row, sums, groupBytes_, boxesPerGroup_);
    std::uint32_t column = groupedBoxes_;
    // The walk: whole bytes add to running sums (levels, and inked dots),
    // and each box end adds the dots of its byte before it.
    std::uint64_t boxEnd = std::uint64_t{column} * boxSize_;
    std::uint32_t byte = static_cast<std::uint32_t>(boxEnd >> dotShift_), running = 0, levelsBeforeBox = 0;
    for (; column < columns_; ++column) {
        boxEnd = std::min<std::uint64_t>(boxEnd + boxSize_, layout_.deviceWidth);
        const auto endByte = static_cast<std::uint32_t>(boxEnd >> dotShift_);
        const auto inByte = static_cast<std::uint32_t>(boxEnd & (dotsPerByte_ - 1));
        for (; byte < endByte; ++byte) {
            running += byteSums_[row[byte]].levels;
            inked += byteSums_[row[byte]].inked;
        }
        const std::uint32_t levelsAfterBox =
            running + (inByte == 0 ? 0u : byteSums_[row[endByte]].levelsBefore[inByte]);
        sums[size_t{column} * 4] += levelsAfterBox - levelsBeforeBox;
        levelsBeforeBox = levelsAfterBox;
    }
    // The walk ends at the last whole byte; the dots of a partial last byte
    // count one by one, its padding dots (zero in a well-formed plane, but
    // they need not be) not at all.
    std::uint64_t inkedDots = inked;
    for (std::uint32_t dot = wholeBytes_ * dotsPerByte_; dot < layout_.deviceWidth; ++dot)
        inkedDots += dotValue(row, dot, layout_.bitsPerDot) != 0;
    return inkedDots;
}

BandColumnSums reduceBand(const PlaneLayout& layout, std::uint32_t boxSize, std::span<const std::uint8_t* const> planes,
                          std::uint32_t rows, std::uint32_t firstRow) {
    return BandReducer(layout, boxSize).reduce(planes, rows, firstRow);
}

// Rows of boxes, summed down the boxes, for a stripe of preview rows and
// the rows its windows reach above and below.
struct PreviewBuilder::Stripe {
    std::uint32_t firstRow = 0, endRow = 0;
    std::uint32_t firstWindowRow = 0;  // the box row of windowRows.front()
    std::vector<std::vector<std::uint64_t>> windowRows;
    std::vector<std::uint32_t> windowHeights;
    bool last = false;
};

namespace {

// The ink levels of every sum of dot levels a window of `dots` dots can
// hold, for one window size: a window's four levels are then four look-ups.
// Each entry is worked out by the very expression a window of that size
// would use, so the proof's bytes do not depend on the tables. A row's
// windows are one size but at its ends, so two tables are kept.
class WindowLevels {
public:
    // Windows larger than this are worked out one by one.
    static constexpr std::uint64_t largestTabled = 4096;

    // Levels of a window whose dots at full level would sum to `dots`
    // (at most largestTabled), indexed by the window's sum.
    const std::array<std::uint8_t, 4>* levelsFor(std::uint64_t dots, const InkResponse& ink) {
        for (Table& table : tables_)
            if (table.dots == dots) {
                newest_ = &table;
                return table.levels.data();
            }
        Table& table = newest_ == &tables_[0] ? tables_[1] : tables_[0];
        table.dots = dots;
        table.levels.resize(dots + 1);
        const double stepsPerLevel = stepsPerLevelOf(dots);
        for (std::uint64_t sum = 0; sum <= dots; ++sum)
            for (size_t colorant = 0; colorant < 4; ++colorant)
                table.levels[sum][colorant] = levelOf(sum, stepsPerLevel, ink, colorant);
        newest_ = &table;
        return table.levels.data();
    }

    static double stepsPerLevelOf(std::uint64_t dots) { return InkResponse::coverageSteps / static_cast<double>(dots); }
    static std::uint8_t levelOf(std::uint64_t sum, double stepsPerLevel, const InkResponse& ink, size_t colorant) {
        const auto step = static_cast<std::uint32_t>(static_cast<double>(sum) * stepsPerLevel + 0.5);
        return ink.levelOfCoverage[colorant][std::min(step, InkResponse::coverageSteps)];
    }

private:
    struct Table {
        std::uint64_t dots = UINT64_MAX;
        std::vector<std::array<std::uint8_t, 4>> levels;
    };
    std::array<Table, 2> tables_;
    const Table* newest_ = nullptr;
};

}  // namespace

struct PreviewBuilder::ProofWorkspace {
    StripeDeflater deflater;
    std::vector<std::uint64_t> down, columnSums;
    std::vector<std::uint8_t> cmykRow, bgrRow, raw;
    WindowLevels windowLevels;
};

namespace {

// Proofs the rows of a stripe and deflates them, in the buffers of a
// workspace.
DeflatedStripe proofStripe(const PreviewBuilder::Stripe& stripe, const PlaneLayout& layout, std::uint32_t boxSize,
                           std::uint32_t columns, std::uint32_t windowRadius, const ProofTable& proof,
                           const InkResponse& ink, const PreviewMargins& margins,
                           PreviewBuilder::ProofWorkspace& workspace);

}  // namespace

PreviewBuilder::PreviewBuilder(std::FILE* file, std::string name, const PlaneLayout& layout, std::uint32_t deviceHeight,
                               std::uint32_t boxSize, const ProofTable& proof, const InkResponse& ink, unsigned threads,
                               const PreviewMargins& margins)
    : layout_(layout), boxSize_(boxSize),
      columns_(static_cast<std::uint32_t>(boxesAcross(layout.deviceWidth, boxSize))),
      previewRows_(static_cast<std::uint32_t>(boxesAcross(deviceHeight, boxSize))), margins_(margins),
      accumulated_(size_t{columns_} * 4),
      windowRadius_(static_cast<std::uint32_t>(boxesAcross(minimumWindowDots, boxSize) / 2)), proof_(proof), ink_(ink),
      png_(file, std::move(name), width(), height()), threads_(std::max(1u, threads)), workspaces_(threads_),
      pool_(std::make_unique<ThreadPool>(threads_)) {}

PreviewBuilder::~PreviewBuilder() = default;

void PreviewBuilder::addBand(const BandColumnSums& band) {
    if (band.firstRow != rowsAdded_) throw std::logic_error("preview band out of place");
    rowsAdded_ += band.rows;
    const size_t boxRowSize = size_t{columns_} * 4;
    for (size_t boxRow = 0; boxRow * boxRowSize < band.sums.size(); ++boxRow) {
        const std::uint32_t* sums = band.sums.data() + boxRow * boxRowSize;
        for (size_t i = 0; i < accumulated_.size(); ++i) accumulated_[i] += sums[i];
        // The device rows of this row of boxes that lie in the band.
        const std::uint64_t boxTop = (std::uint64_t{band.firstRow} / boxSize_ + boxRow) * boxSize_;
        const std::uint64_t top = std::max<std::uint64_t>(boxTop, band.firstRow);
        const std::uint64_t bottom = std::min(boxTop + boxSize_, std::uint64_t{band.firstRow} + band.rows);
        rowsAccumulated_ += static_cast<std::uint32_t>(bottom - top);
        if (rowsAccumulated_ == boxSize_) completeBoxRow();
    }
    writeStripes(size_t{threads_} * 2);
}

void PreviewBuilder::finish() {
    if (rowsAccumulated_ > 0) completeBoxRow();
    if (completedRows_ != previewRows_) throw std::logic_error("preview finished before its last row");
    submitStripe(previewRows_, true);
    writeStripes(0);
}

void PreviewBuilder::completeBoxRow() {
    // The row goes into the window as it is, and summing starts again in a
    // row that a finished stripe gave back.
    std::vector<std::uint64_t> next = spareRows_.take();
    next.assign(accumulated_.size(), 0);
    windowRows_.push_back(std::move(accumulated_));
    accumulated_ = std::move(next);
    windowHeights_.push_back(rowsAccumulated_);
    ++completedRows_;
    rowsAccumulated_ = 0;
    // A stripe goes out once the rows below it that its windows reach are
    // in; the last one waits for finish, which ends the file with it.
    while (emittedRows_ + stripeRows + windowRadius_ <= completedRows_ && emittedRows_ + stripeRows < previewRows_)
        submitStripe(emittedRows_ + stripeRows, false);
}

void PreviewBuilder::submitStripe(std::uint32_t end, bool last) {
    Stripe stripe;
    stripe.firstRow = emittedRows_;
    stripe.endRow = end;
    stripe.last = last;
    const std::uint32_t top = emittedRows_ > windowRadius_ ? emittedRows_ - windowRadius_ : 0;
    const std::uint32_t bottom = std::min(end + windowRadius_, completedRows_);
    // Box rows the next stripe's windows reach are copied, the others moved.
    const std::uint32_t keepFrom = last ? bottom : (end > windowRadius_ ? end - windowRadius_ : 0);
    while (firstWindowRow_ < top) {
        windowRows_.pop_front();
        windowHeights_.pop_front();
        ++firstWindowRow_;
    }
    stripe.firstWindowRow = top;
    for (std::uint32_t row = top; row < bottom; ++row) {
        auto& sums = windowRows_[row - firstWindowRow_];
        if (row < keepFrom) {
            stripe.windowRows.push_back(std::move(sums));
        } else {
            stripe.windowRows.push_back(spareRows_.take());
            stripe.windowRows.back().assign(sums.begin(), sums.end());
        }
        stripe.windowHeights.push_back(windowHeights_[row - firstWindowRow_]);
    }
    while (firstWindowRow_ < keepFrom && !windowRows_.empty()) {
        windowRows_.pop_front();
        windowHeights_.pop_front();
        ++firstWindowRow_;
    }
    emittedRows_ = end;
    pending_.push_back(pool_->submit([stripe = std::move(stripe), layout = layout_, boxSize = boxSize_,
                                      columns = columns_, radius = windowRadius_, &proof = proof_, &ink = ink_,
                                      margins = margins_, &workspaces = workspaces_](unsigned worker) mutable {
        const double start = threadCpuSeconds();
        DeflatedStripe png =
            proofStripe(stripe, layout, boxSize, columns, radius, proof, ink, margins, workspaces[worker]);
        return ProofedStripe{std::move(png), threadCpuSeconds() - start, std::move(stripe.windowRows)};
    }));
}

void PreviewBuilder::writeStripes(size_t allowedPending) {
    while (!pending_.empty() && (pending_.size() > allowedPending ||
                                 pending_.front().wait_for(std::chrono::seconds(0)) == std::future_status::ready)) {
        ProofedStripe stripe = pending_.front().get();
        pending_.pop_front();
        cpuSeconds_ += stripe.cpuSeconds;
        png_.writeStripe(stripe.png);
        for (auto& row : stripe.boxRows) spareRows_.giveBack(std::move(row));
    }
}

namespace {

DeflatedStripe proofStripe(const PreviewBuilder::Stripe& stripe, const PlaneLayout& layout, std::uint32_t boxSize,
                           std::uint32_t columns, std::uint32_t windowRadius, const ProofTable& proof,
                           const InkResponse& ink, const PreviewMargins& margins,
                           PreviewBuilder::ProofWorkspace& workspace) {
    const std::uint32_t completedRows = stripe.firstWindowRow + static_cast<std::uint32_t>(stripe.windowRows.size());
    std::vector<std::uint64_t>& down = workspace.down;  // one row of boxes summed down the window
    down.resize(size_t{columns} * 4);
    std::vector<std::uint64_t>& columnSums = workspace.columnSums;  // running sums of ink and dots
    columnSums.assign((size_t{columns} + 1) * 5, 0);
    std::vector<std::uint8_t>& cmykRow = workspace.cmykRow;
    std::vector<std::uint8_t>& bgrRow = workspace.bgrRow;
    cmykRow.resize(size_t{columns} * 4);
    bgrRow.resize(size_t{columns} * 3);
    // Filter byte 0, then red, green, blue: the margins' paper, the raster's
    // proof, paper again.
    const size_t rawRowBytes = 1 + (size_t{margins.left} + columns + margins.right) * 3;
    // The first stripe starts with the top margin's rows, the last one ends
    // with the bottom margin's.
    const size_t rowsAbove = stripe.firstRow == 0 ? margins.top : 0;
    const size_t rowsBelow = stripe.last ? margins.bottom : 0;
    std::vector<std::uint8_t>& raw = workspace.raw;
    raw.assign((rowsAbove + stripe.endRow - stripe.firstRow + rowsBelow) * rawRowBytes, 255);
    for (size_t row = 0; row < raw.size() / rawRowBytes; ++row) raw[row * rawRowBytes] = 0;
    const std::uint64_t maxLevel = (1u << layout.bitsPerDot) - 1;
    for (std::uint32_t row = stripe.firstRow; row < stripe.endRow; ++row) {
        // Down the window: ink per column and colorant, and device rows.
        const std::uint32_t top = row > windowRadius ? row - windowRadius : 0;
        const auto bottom =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(row + windowRadius + 1ull, completedRows));
        std::uint64_t windowHeight = 0;
        std::fill(down.begin(), down.end(), 0);
        for (std::uint32_t boxRow = top; boxRow < bottom; ++boxRow) {
            const std::vector<std::uint64_t>& sums = stripe.windowRows[boxRow - stripe.firstWindowRow];
            for (size_t i = 0; i < down.size(); ++i) down[i] += sums[i];
            windowHeight += stripe.windowHeights[boxRow - stripe.firstWindowRow];
        }
        // Across: running sums over the columns, so each window is a difference.
        for (std::uint32_t column = 0; column < columns; ++column) {
            const std::uint64_t* previous = columnSums.data() + size_t{column} * 5;
            std::uint64_t* next = columnSums.data() + size_t{column + 1} * 5;
            for (size_t colorant = 0; colorant < 4; ++colorant)
                next[colorant] = previous[colorant] + down[size_t{column} * 4 + colorant];
            next[4] = previous[4] + std::min(boxSize, layout.deviceWidth - column * boxSize);
        }
        std::uint64_t tabledDots = UINT64_MAX;
        const std::array<std::uint8_t, 4>* byLevelSum = nullptr;
        for (std::uint32_t column = 0; column < columns; ++column) {
            const std::uint64_t* left =
                columnSums.data() + size_t{column > windowRadius ? column - windowRadius : 0} * 5;
            const std::uint64_t* right =
                columnSums.data() + std::min<std::uint64_t>(column + windowRadius + 1ull, columns) * 5;
            // The sum of a window's dot levels at full ink.
            const std::uint64_t dots = (right[4] - left[4]) * windowHeight * maxLevel;
            std::uint8_t* levels = cmykRow.data() + size_t{column} * 4;
            if (dots <= WindowLevels::largestTabled) {
                // Windows but those at a row's ends are one size: the table
                // is looked for again only when the size changes.
                if (dots != tabledDots) {
                    byLevelSum = workspace.windowLevels.levelsFor(dots, ink);
                    tabledDots = dots;
                }
                // A sum above `dots` is beyond full ink, which the last entry holds.
                for (size_t colorant = 0; colorant < 4; ++colorant)
                    levels[colorant] = byLevelSum[std::min(right[colorant] - left[colorant], dots)][colorant];
            } else {
                const double stepsPerLevel = WindowLevels::stepsPerLevelOf(dots);
                for (size_t colorant = 0; colorant < 4; ++colorant)
                    levels[colorant] =
                        WindowLevels::levelOf(right[colorant] - left[colorant], stepsPerLevel, ink, colorant);
            }
        }
        QvrColCnvC2r(columns, cmykRow.data(), bgrRow.data(), proof.gridSize, proof.entries.data());
        // The conversion writes blue first, except for a box without any ink,
        // which gets entry 0 (paper) in its stored order, red first.
        std::uint8_t* rgb =
            raw.data() + (rowsAbove + row - stripe.firstRow) * rawRowBytes + 1 + size_t{margins.left} * 3;
        for (std::uint32_t column = 0; column < columns; ++column, rgb += 3) {
            const std::uint8_t* cmyk = cmykRow.data() + size_t{column} * 4;
            const std::uint8_t* bgr = bgrRow.data() + size_t{column} * 3;
            const bool paper = (cmyk[0] | cmyk[1] | cmyk[2] | cmyk[3]) == 0;
            rgb[0] = paper ? bgr[0] : bgr[2];
            rgb[1] = bgr[1];
            rgb[2] = paper ? bgr[2] : bgr[0];
        }
    }
    return workspace.deflater.deflate(raw, stripe.last);
}

}  // namespace

}  // namespace huecl::pages
