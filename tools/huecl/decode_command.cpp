#include "commands.h"

#include "pages/colour/colour_table.h"
#include "pages/colour/later_engine.h"
#include "pages/lzs_codec.h"
#include "pages/writers/output_files.h"
#include "pages/writers/page_preview.h"
#include "pages/writers/plane_files.h"
#include "progress_bar.h"
#include "pages/writers/raster_container.h"
#include "pages/page_error.h"

#include <cstdio>
#include <optional>

namespace huecl::tool {

using namespace huecl::pages;
namespace {

// The proof of the colour table the raster was matched with: the same
// profile, found where it was or where --profile says it is now, and
// refused if it is not the same profile any more.
ProofTable proofTableFor(const RasterHeader& h, const DecodeCommand& command) {
    if (h.fromProfile == 0) return buildModelProofTable();
    const std::filesystem::path profile = command.profile.value_or(h.profilePath);
    if (!command.profile && !std::filesystem::exists(profile))
        throw PageError(command.raster.string() + ": was printed with the profile " + h.profilePath +
                        ", which is gone; name it with --profile FILE.icc");
    if (profileIdentity(profile) != h.profileId)
        throw PageError(profile.string() + ": not the profile " + command.raster.string() +
                        " was printed with (its profile ID differs)");
    return buildProfileProofTable(profile);
}

// How the page's colours were matched; a CMYK page never was.
std::string matchingText(const RasterHeader& h) {
    return h.cmykSource != 0 ? "CMYK source, no matching" : matchMethodName(h.matchMethod) + " matching";
}

std::uint32_t previewBoxFor(const RasterHeader& h, const DecodeCommand& command) {
    return command.previewDpi != 0 ? previewBoxSize(h.deviceResY, command.previewDpi)
                                   : automaticPreviewBoxSize(h.deviceResY, h.sourceResY, h.deviceWidth, h.deviceHeight);
}

// A header is checked against the limits before anything is allocated for
// its page: a few bytes of header can claim a page of gigabytes, and the
// checksums only say that the claim arrived as it was written.
void checkPageLimits(const RasterHeader& h, const DecodeCommand& command, const std::string& where) {
    const std::string name = command.raster.string() + where;
    const std::uint64_t pixels = std::uint64_t{h.sourceWidth} * h.sourceHeight;
    if (pixels > command.limits.pixels)
        throw PageError(name + ": page printed from " + std::to_string(h.sourceWidth) + "x" +
                        std::to_string(h.sourceHeight) + " pixels (" + std::to_string(pixels) +
                        " pixels) exceeds the limit of " + std::to_string(command.limits.pixels) +
                        " pixels (--max-pixels raises it)");
    // One band's planes decoded and as read, and the preview's rows.
    const std::uint64_t planeBytes = std::uint64_t{h.bandHeight} * h.lineBytes;
    const std::uint64_t bytes = h.planeCount * (planeBytes + largestPlaneStream(h.bandHeight, h.lineBytes)) +
                                previewMemoryBytes(h.deviceWidth, h.deviceHeight, previewBoxFor(h, command));
    if (bytes > command.limits.memoryBytes) {
        const auto mebibytes = [](std::uint64_t count) { return std::to_string((count + (1u << 20) - 1) >> 20); };
        throw PageError(name + ": decoding a page of " + std::to_string(h.deviceWidth) + "x" +
                        std::to_string(h.deviceHeight) + " dots takes " + mebibytes(bytes) +
                        " MiB, more than the limit of " + mebibytes(command.limits.memoryBytes) +
                        " MiB (--max-memory raises it)");
    }
}

std::string pageSuffix(const RasterReader& reader) {
    return reader.pageNumber() > 1 ? ": page " + std::to_string(reader.pageNumber()) : "";
}

// Reads the whole file once, checksums included, so that a damaged page
// anywhere stops the command before it writes anything; returns the pages.
// Standard input cannot be read twice: it counts as one page, and a second
// page there is refused.
std::uint32_t countPages(const DecodeCommand& command) {
    if (command.raster == "-") return 1;
    RasterReader reader(command.raster);
    RasterBand band;
    do {
        checkPageLimits(reader.header(), command, pageSuffix(reader));
        while (reader.readBand(band)) {}
    } while (reader.nextPage());
    return reader.pageNumber();
}

// Decodes the current page of reader into the output folder.
void decodePage(RasterReader& reader, OutputFolder& output, const DecodeCommand& command, bool numbered) {
    const RasterHeader& h = reader.header();
    const std::string name = command.raster.string();
    const std::string where = pageSuffix(reader);
    checkPageLimits(h, command, where);
    const PlaneLayout layout{h.deviceWidth, h.lineBytes, h.bitsPerDot, h.planeCount};
    std::optional<PlaneFiles> planeFiles;
    if (command.writePlanes)
        planeFiles.emplace(output, command.planeFormat, layout, h.deviceHeight, Resolution{h.deviceResX, h.deviceResY});
    const std::uint32_t boxSize = previewBoxFor(h, command);
    const ProofTable proof = proofTableFor(h, command);
    const InkResponse ink = inkResponseOf(h.ditherMode, h.screenKind, h.blackOnly != 0);
    auto& previewFile = output.create("preview.png");
    PreviewBuilder preview(previewFile.stream(), previewFile.finalPath().string(), layout, h.deviceHeight, boxSize,
                           proof, ink);
    const BandReducer reducer(layout, boxSize);

    ProgressBar progress(numbered ? "huecl decode, page " + std::to_string(reader.pageNumber()) : "huecl decode",
                         h.bandCount, !command.quiet);
    DecompressionHistory history;
    RasterBand band;
    std::array<std::vector<std::uint8_t>, 4> planes;
    std::uint64_t deviceRows = 0;
    for (std::uint32_t index = 0; reader.readBand(band); ++index) {
        const std::uint64_t firstRow = deviceRows;
        deviceRows += band.deviceRows;
        if (deviceRows > h.deviceHeight)
            throw PageError(name + where + ": corrupt raster file (more rows than the page has)");
        std::array<const std::uint8_t*, 4> planePointers{};
        for (std::uint32_t plane = 0; plane < h.planeCount; ++plane) {
            planes[plane].resize(size_t{band.deviceRows} * h.lineBytes);
            decompressBlock(band.streams[plane], planes[plane], history,
                            name + where + ": band " + std::to_string(index) + " plane " + std::to_string(plane));
            planePointers[plane] = planes[plane].data();
        }
        const auto bandPlanes = std::span(planePointers).first(h.planeCount);
        if (planeFiles) planeFiles->addBand(bandPlanes, band.deviceRows);
        preview.addBand(reducer.reduce(bandPlanes, band.deviceRows, static_cast<std::uint32_t>(firstRow)));
        progress.advance();
    }
    if (deviceRows != h.deviceHeight)
        throw PageError(name + where + ": corrupt raster file (" + std::to_string(deviceRows) + " rows, header says " +
                        std::to_string(h.deviceHeight) + ")");
    if (planeFiles) planeFiles->finish();
    preview.finish();
    progress.finish();
    std::printf(
        "%s%u bands, %u x %u dots (page %.1f x %.1f mm), %u plane%s of %u bit%s per dot (%s engine, %s, screen %u, "
        "%s)\n",
        numbered ? ("page " + std::to_string(reader.pageNumber()) + ": ").c_str() : "", h.bandCount, h.deviceWidth,
        h.deviceHeight, h.deviceWidth * 25.4 / h.deviceResX, h.deviceHeight * 25.4 / h.deviceResY, h.planeCount,
        h.planeCount == 1 ? "" : "s", h.bitsPerDot, h.bitsPerDot == 1 ? "" : "s", h.engine == 1 ? "earlier" : "later",
        ditherModeName(h.ditherMode).c_str(), h.screenKind, matchingText(h).c_str());
}

}  // namespace

void runDecode(const DecodeCommand& command) {
    const std::uint32_t pages = countPages(command);
    RasterReader reader(command.raster);
    OutputFolder output(command.outputFolder);
    output.keepInput(command.raster);
    // One page keeps the plain names; the pages of a document are numbered.
    do {
        if (reader.pageNumber() > pages)
            throw PageError("standard input holds more than one page; decode a file of several pages by its name");
        if (pages > 1) output.setNamePrefix("page-" + std::to_string(reader.pageNumber()) + "-");
        decodePage(reader, output, command, pages > 1);
    } while (reader.nextPage());
    output.commit();
}

}  // namespace huecl::tool
