#include "commands.h"

#include "pages/colour/colour_table.h"
#include "pages/colour/later_engine.h"
#include "pages/lzs_codec.h"
#include "pages/writers/output_files.h"
#include "pages/writers/page_header.h"
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
    return pages::previewBoxFor(h, command.previewDpi);
}

// "page 210.0 x 297.0 mm", or for a page that knows its sheet "sheet 148.2
// x 209.9 mm, printed 139.7 x 201.4 mm at 4.2, 4.2 mm".
std::string pageText(const RasterHeader& h) {
    const auto mm = [](std::uint32_t dots, std::uint32_t resolution) { return dots * 25.4 / resolution; };
    char text[160];
    if (!h.hasSheet())
        std::snprintf(text, sizeof text, "page %.1f x %.1f mm", mm(h.deviceWidth, h.deviceResX),
                      mm(h.deviceHeight, h.deviceResY));
    else
        std::snprintf(text, sizeof text, "sheet %.1f x %.1f mm, printed %.1f x %.1f mm at %.1f, %.1f mm",
                      mm(h.sheetWidth, h.deviceResX), mm(h.sheetHeight, h.deviceResY), mm(h.deviceWidth, h.deviceResX),
                      mm(h.deviceHeight, h.deviceResY), mm(h.sheetX, h.deviceResX), mm(h.sheetY, h.deviceResY));
    return text;
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
    const std::uint64_t bytes =
        h.planeCount * (planeBytes + largestPlaneStream(h.bandHeight, h.lineBytes)) +
        previewMemoryBytes(h.hasSheet() ? h.sheetWidth : h.deviceWidth, h.hasSheet() ? h.sheetHeight : h.deviceHeight,
                           previewBoxFor(h, command));
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

// What a first reading of the whole file found: its pages, and where it is
// cut or damaged, if it is.
struct FileSurvey {
    std::uint32_t pages = 0;       // whose header was found, the cut one included
    std::uint32_t wholePages = 0;  // read whole, checksums included, before any damage
    std::string damage;            // why the page after the whole ones cannot be read
};

// The reader's message without the file name it starts with.
std::string reasonOf(const PageError& error, const std::string& name) {
    const std::string message = error.what();
    return message.starts_with(name + ": ") ? message.substr(name.size() + 2) : message;
}

// Reads the whole file once, checksums included, so that the pages to
// decode are known to be whole before anything is written, and finds where
// a cut or damaged file stops being readable: the whole pages before that
// point are decoded all the same. Standard input cannot be read twice: it
// counts as one whole page, and a second page there is refused.
FileSurvey surveyFile(const DecodeCommand& command) {
    if (command.raster == "-") return {1, 1, {}};
    const std::string name = command.raster.string();
    RasterReader reader(command.raster);  // a first header it cannot read is no page at all
    FileSurvey survey;
    RasterBand band;
    for (;;) {
        survey.pages = reader.pageNumber();
        if (command.pages.includes(reader.pageNumber())) checkPageLimits(reader.header(), command, pageSuffix(reader));
        try {
            while (reader.readBand(band)) {}
        } catch (const PageError& error) {
            survey.damage = reasonOf(error, name);
            break;
        }
        survey.wholePages = reader.pageNumber();
        try {
            if (!reader.nextPage()) break;
        } catch (const PageError& error) {
            survey.pages = reader.pageNumber() + 1;
            survey.damage = reasonOf(error, name);
            break;
        }
    }
    return survey;
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
                           proof, ink, 1, previewMarginsFor(h, boxSize));
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
        "%s%u bands, %u x %u dots (%s), %u plane%s of %u bit%s per dot (%s engine, %s, screen %u, "
        "%s)\n",
        numbered ? ("page " + std::to_string(reader.pageNumber()) + ": ").c_str() : "", h.bandCount, h.deviceWidth,
        h.deviceHeight, pageText(h).c_str(), h.planeCount, h.planeCount == 1 ? "" : "s", h.bitsPerDot,
        h.bitsPerDot == 1 ? "" : "s", h.engine == 1 ? "earlier" : "later", ditherModeName(h.ditherMode).c_str(),
        h.screenKind, matchingText(h).c_str());
}

}  // namespace

void runDecode(const DecodeCommand& command) {
    if (command.raster == "-" && !command.pages.all())
        throw PageError("--pages needs the raster file by its name, not standard input");
    const FileSurvey survey = surveyFile(command);
    const std::string name = command.raster.string();
    const std::uint32_t lastAsked = command.pages.all() ? survey.pages : command.pages.last();
    if (survey.damage.empty() && lastAsked > survey.pages)
        throw PageError(name + " holds " + std::to_string(survey.pages) + (survey.pages == 1 ? " page" : " pages") +
                        "; --pages asks for page " + std::to_string(lastAsked));
    // The cut page, when the pages asked for reach it.
    const bool cutReached = !survey.damage.empty() && lastAsked >= survey.wholePages + 1;
    const std::string cutReport =
        name + ": page " + std::to_string(survey.wholePages + 1) + " is cut or damaged (" + survey.damage + ")";
    std::uint32_t selectedWholePages = 0;
    for (std::uint32_t page = 1; page <= survey.wholePages; ++page) selectedWholePages += command.pages.includes(page);
    if (selectedWholePages == 0) {
        // Nothing to decode: the reader's own word on a file whose first
        // page it could not read, else the cut page named.
        if (cutReached && survey.wholePages == 0) throw PageError(name + ": " + survey.damage);
        if (cutReached) throw PageError(cutReport + "; --pages asks for no page before it");
        throw PageError("--pages selects no page of " + name);
    }

    RasterReader reader(command.raster);
    OutputFolder output(command.outputFolder, command.force);
    output.keepInput(command.raster);
    // One page keeps the plain names; the pages of a document are numbered,
    // a cut one counted.
    const bool numbered = survey.pages > 1;
    for (;;) {
        if (reader.pageNumber() > survey.pages)
            throw PageError("standard input holds more than one page; decode a file of several pages by its name");
        if (command.pages.includes(reader.pageNumber())) {
            if (numbered) output.setNamePrefix("page-" + std::to_string(reader.pageNumber()) + "-");
            decodePage(reader, output, command, numbered);
        } else {
            RasterBand band;
            while (reader.readBand(band)) {}
        }
        if (reader.pageNumber() == survey.wholePages && command.raster != "-") break;
        if (!reader.nextPage()) break;
    }
    output.commit();
    if (cutReached)
        throw PageError(cutReport + "; the " + std::to_string(selectedWholePages) + " whole page" +
                        (selectedWholePages == 1 ? "" : "s") + " before it " +
                        (selectedWholePages == 1 ? "is" : "are") + " decoded");
}

}  // namespace huecl::tool
