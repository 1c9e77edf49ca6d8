// The raster container as huecl decode reads it, on arbitrary bytes: every
// page's header, each band's streams through their checksums and the LZS
// decoder, the planes summed into the preview and the preview written. A
// damaged file must end in a PageError; anything else (a crash, a logic
// error from the preview, memory past a header's claim) is a fault.
#include <cstdio>

#include "page_fuzz_driver.h"
#include "pages/colour/colour_table.h"
#include "pages/colour/later_engine.h"
#include "pages/lzs_codec.h"
#include "pages/page_error.h"
#include "pages/writers/page_header.h"
#include "pages/writers/page_preview.h"
#include "pages/writers/raster_container.h"

namespace {

using namespace huecl::pages;

// What decode checks before it allocates for a page, at the fuzzer's
// limits: false for a page too large to decode here.
bool withinLimits(const RasterHeader& h, std::uint32_t boxSize) {
    if (std::uint64_t{h.sourceWidth} * h.sourceHeight > page_fuzz::fuzzLimits().pixels) return false;
    const std::uint64_t planeBytes = std::uint64_t{h.bandHeight} * h.lineBytes;
    const std::uint64_t bytes = h.planeCount * (planeBytes + largestPlaneStream(h.bandHeight, h.lineBytes)) +
                                previewMemoryBytes(h.hasSheet() ? h.sheetWidth : h.deviceWidth,
                                                   h.hasSheet() ? h.sheetHeight : h.deviceHeight, boxSize);
    return bytes <= page_fuzz::fuzzLimits().memoryBytes;
}

void decodePage(RasterReader& reader, const ProofTable& proof, std::FILE* sink) {
    const RasterHeader& h = reader.header();
    // The box and the sheet's margins as decode takes them.
    const std::uint32_t boxSize = previewBoxFor(h, 0);
    if (!withinLimits(h, boxSize)) throw PageError("over the fuzzer's limits");
    const PlaneLayout layout{h.deviceWidth, h.lineBytes, h.bitsPerDot, h.planeCount};
    const InkResponse ink = inkResponseOf(h.ditherMode, h.screenKind, h.blackOnly != 0);
    PreviewBuilder preview(sink, "preview.png", layout, h.deviceHeight, boxSize, proof, ink, 1,
                           previewMarginsFor(h, boxSize));
    const BandReducer reducer(layout, boxSize);
    DecompressionHistory history;
    RasterBand band;
    std::array<std::vector<std::uint8_t>, 4> planes;
    std::uint64_t deviceRows = 0;
    while (reader.readBand(band)) {
        const std::uint64_t firstRow = deviceRows;
        deviceRows += band.deviceRows;
        if (deviceRows > h.deviceHeight) throw PageError("more rows than the page has");
        std::array<const std::uint8_t*, 4> pointers{};
        for (std::uint32_t plane = 0; plane < h.planeCount; ++plane) {
            planes[plane].resize(std::size_t{band.deviceRows} * h.lineBytes);
            decompressBlock(band.streams[plane], planes[plane], history, "band");
            pointers[plane] = planes[plane].data();
        }
        preview.addBand(reducer.reduce(std::span(pointers).first(h.planeCount), band.deviceRows,
                                       static_cast<std::uint32_t>(firstRow)));
    }
    if (deviceRows != h.deviceHeight) throw PageError("fewer rows than the header says");
    preview.finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ProofTable proof = buildModelProofTable();
    const page_fuzz::MemoryFile file(data, size);
    std::FILE* sink = std::fopen("/dev/null", "wb");
    page_fuzz::require(sink != nullptr);
    try {
        RasterReader reader(file.path());
        do decodePage(reader, proof, sink);
        while (reader.nextPage());
    } catch (const PageError&) {
        // A damaged or oversized file.
    }
    std::fclose(sink);
    return 0;
}
