// The preview: a proof of the printed page, simulated from the planes
// through the colour table the page was matched with. Each preview pixel
// covers a square of boxSize x boxSize device dots; the ink coverage of each
// colorant over that square (dot values over their maximum, so 2- and 4-bit
// levels count by weight) becomes the CMYK level that the page's screen
// prints with that coverage (InkResponse), and QvrColCnvC2r turns the
// row of them into RGB through a ProofTable built once from the same
// profile (its CMYK-to-sRGB direction) or from the built-in model's
// inverse. A flat patch therefore previews as the profile predicts it
// prints.
//
// The work is split so that workers can do most of it in parallel: a band's
// rows are summed across each box in the worker (reduceBand); the writer,
// which sees bands in page order, sums those down the boxes; stripes of
// finished rows of boxes become proofed, deflated PNG rows on the builder's
// own threads, and the writer puts them into the file in order.
#pragma once

#include "pages/colour/colour_table.h"
#include "pages/readers/png_image.h"
#include "pages/colour/stage_times.h"
#include "pages/writers/striped_png.h"
#include "pages/spare_buffers.h"
#include "pages/thread_pool.h"

#include <array>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <span>
#include <vector>

namespace huecl::pages {

// A screen prints level v wherever v exceeds a threshold, so a flat area
// of level v takes (thresholds below v) / (all thresholds) of its full
// ink; screens are not linear, and a profile describes the printer by the
// levels sent to it. InkResponse undoes that: per colorant (cyan to black),
// the level whose flat area has a given coverage, coverage in 4095ths,
// interpolated between neighbouring levels.
struct InkResponse {
    static constexpr std::uint32_t coverageSteps = 4095;
    std::array<std::array<std::uint8_t, coverageSteps + 1>, 4> levelOfCoverage{};
};

// From the threshold matrices of the four colorants (all thresholds of a
// cell; an empty matrix, as for the colours of a black-only screen, maps
// coverage to the same level).
InkResponse inkResponseOf(const std::array<std::span<const std::uint8_t>, 4>& thresholds);

struct PlaneLayout {
    std::uint32_t deviceWidth = 0;
    std::uint32_t lineBytes = 0;
    std::uint32_t bitsPerDot = 0;
    std::uint32_t planeCount = 0;  // 4 (cyan, magenta, yellow, black) or 1 (black)
};

// Summed dot values of a band per row of boxes it reaches, preview column
// and colorant (always four, cyan to black; absent planes stay zero): a
// band that starts or ends inside a row of boxes holds the part of it that
// lies in the band, and the builder adds the parts up.
struct BandColumnSums {
    std::uint32_t firstRow = 0;       // device row of the page where the band starts
    std::uint32_t rows = 0;           // device rows of the band
    std::vector<std::uint32_t> sums;  // rows of boxes x columns x 4
    std::uint64_t inkedDots = 0;      // dots of any plane with a non-zero value
};

// Boxes of boxSize dots that cover length dots. Counted in 64 bits: a
// header may claim a width near 2^32, where rounding up would wrap.
constexpr std::uint64_t boxesAcross(std::uint32_t length, std::uint32_t boxSize) {
    return (std::uint64_t{length} + boxSize - 1) / boxSize;
}

std::uint32_t previewBoxSize(std::uint32_t deviceResolution, std::uint32_t previewResolution);

// The default: one preview pixel per source pixel, as sharp as the page
// was sent, unless that makes more than previewPixelBudget pixels; then the
// smallest box that stays within it.
inline constexpr std::uint64_t previewPixelBudget = std::uint64_t{1} << 20;
std::uint32_t automaticPreviewBoxSize(std::uint32_t deviceResolution, std::uint32_t sourceResolution,
                                      std::uint32_t deviceWidth, std::uint32_t deviceHeight);

// What a PreviewBuilder of this page holds at once, near enough to refuse
// a page whose preview would not fit before building it: the box rows its
// windows and stripes keep, and one stripe's proof.
std::uint64_t previewMemoryBytes(std::uint32_t deviceWidth, std::uint32_t deviceHeight, std::uint32_t boxSize);

// Sums the bands of one page into BandColumnSums. Its look-up tables
// depend on the layout and the box alone, so a page builds one reducer and
// every band reads its tables: reduce is const, and workers share it.
class BandReducer {
public:
    BandReducer(const PlaneLayout& layout, std::uint32_t boxSize);
    // planes: planeCount buffers of at least rows * lineBytes bytes, device
    // rows [firstRow, firstRow + rows) of the page. The sums go into
    // storage, whatever it held, so that a caller can hand the vector of an
    // earlier band back in and its memory is used again.
    BandColumnSums reduce(std::span<const std::uint8_t* const> planes, std::uint32_t rows, std::uint32_t firstRow,
                          std::vector<std::uint32_t> storage = {}) const;
    // Only the inked dots that reduce would count, for a page without a
    // preview: no sums to hold.
    std::uint64_t inkedDots(std::span<const std::uint8_t* const> planes, std::uint32_t rows) const;

private:
    // Adds one row's box sums at sums (every fourth entry, one per column);
    // returns its inked dots.
    std::uint64_t sumRow(const std::uint8_t* row, std::uint32_t* sums) const;
    template <typename BytesPerGroup, typename BoxesInGroup>
    std::uint32_t sumGroups(const std::uint8_t* row, std::uint32_t* sums, BytesPerGroup bytesPerGroup,
                            BoxesInGroup boxesInGroup) const;

    struct ByteSums {
        std::array<std::uint8_t, 8> levelsBefore{};  // levels of the byte's first k dots
        std::uint8_t levels = 0;                     // of all its dots
        std::uint8_t inked = 0;                      // dots with a non-zero level
    };
    PlaneLayout layout_;
    std::uint32_t boxSize_, columns_, dotsPerByte_, dotShift_, wholeBytes_;
    std::uint64_t lowestBitOfEachDot_;  // of every dot in a 64-bit word
    std::array<ByteSums, 256> byteSums_{};
    // Boxes that tile whole bytes in groups: the group's shape, the boxes
    // of a row it covers, and per box value its levels and its inked dots
    // times 256. Empty (no boxes grouped) for other boxes.
    std::uint32_t boxesPerGroup_ = 0, groupBytes_ = 0, groupedBoxes_ = 0;
    std::vector<std::uint16_t> boxSums_;
};

// One band through a reducer of its own, for a caller with a single band.
BandColumnSums reduceBand(const PlaneLayout& layout, std::uint32_t boxSize, std::span<const std::uint8_t* const> planes,
                          std::uint32_t rows, std::uint32_t firstRow);

// White paper around the printed raster in a preview, in preview pixels:
// the margins of the sheet it was printed on.
struct PreviewMargins {
    std::uint32_t left = 0, top = 0, right = 0, bottom = 0;
};

class PreviewBuilder {
public:
    // proof and ink must outlive the builder. threads: how many stripes are
    // proofed and deflated at once; the file is the same for any number.
    // margins: paper around the raster, so that the preview shows the sheet.
    PreviewBuilder(std::FILE* file, std::string name, const PlaneLayout& layout, std::uint32_t deviceHeight,
                   std::uint32_t boxSize, const ProofTable& proof, const InkResponse& ink, unsigned threads = 1,
                   const PreviewMargins& margins = {});
    ~PreviewBuilder();
    void addBand(const BandColumnSums& band);
    // Writes the last, possibly partial, row of boxes and ends the file.
    void finish();
    // Of the whole preview, margins included.
    std::uint32_t width() const { return margins_.left + columns_ + margins_.right; }
    std::uint32_t height() const { return margins_.top + previewRows_ + margins_.bottom; }
    // CPU seconds its threads spent proofing and deflating so far.
    double cpuSeconds() const { return cpuSeconds_; }

    // Preview rows per stripe.
    static constexpr std::uint32_t stripeRows = 32;
    // Coverage is taken over a window of boxes around each preview pixel,
    // at least minimumWindowDots wide, so that small boxes do not read the
    // screen's pattern as tone: a box of 2 x 2 two-bit dots knows only 13
    // coverages, and the proof of a flat tone would follow their spread
    // instead of their mean.
    static constexpr std::uint32_t minimumWindowDots = 6;
    struct Stripe;
    // What each thread keeps from stripe to stripe: its compressor and
    // row buffers, set up once instead of for every stripe.
    struct ProofWorkspace;

private:
    void completeBoxRow();
    // Hands rows [emittedRows_, end) to the threads.
    void submitStripe(std::uint32_t end, bool last);
    // Writes the stripes that are done, waiting while more than allowed are pending.
    void writeStripes(size_t allowedPending);
    PlaneLayout layout_;
    std::uint32_t boxSize_, columns_, previewRows_;
    PreviewMargins margins_;
    std::vector<std::uint64_t> accumulated_;  // columns x 4
    std::uint32_t rowsAccumulated_ = 0;
    std::uint32_t rowsAdded_ = 0;                        // device rows of the bands added
    std::uint32_t windowRadius_;                         // boxes on each side
    std::deque<std::vector<std::uint64_t>> windowRows_;  // completed box rows, columns x 4
    std::deque<std::uint32_t> windowHeights_;            // device rows in each
    std::uint32_t firstWindowRow_ = 0, completedRows_ = 0, emittedRows_ = 0;
    const ProofTable& proof_;
    const InkResponse& ink_;
    StripedPngWriter png_;
    unsigned threads_;
    struct ProofedStripe {
        DeflatedStripe png;
        double cpuSeconds = 0;
        std::vector<std::vector<std::uint64_t>> boxRows;  // the stripe's, to be used again
    };
    SpareBuffers<std::vector<std::uint64_t>> spareRows_;  // box rows that finished stripes gave back
    std::deque<std::future<ProofedStripe>> pending_;
    double cpuSeconds_ = 0;
    std::vector<ProofWorkspace> workspaces_;  // one per thread
    std::unique_ptr<ThreadPool> pool_;        // last, so that its threads stop first
};

}  // namespace huecl::pages
