// Command lines of the huecl tool, parsed and range-checked into plain
// settings. Every problem becomes a PageError naming the option and what it
// accepts.
#pragma once

#include "huecl32.h"
#include "pages/lzs_codec.h"
#include "pages/readers/image_source.h"
#include "pages/page_layout.h"
#include "pages/page_settings.h"
#include "pages/readers/test_page.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace huecl::tool {

using pages::ImageLimits;
using pages::LzsEncoder;
using pages::LayoutRequest;
using pages::PageSettings;
using pages::PageSize;
using pages::PlaneFormat;

struct PrintCommand {
    std::optional<std::filesystem::path> image;  // none: the built-in test page
    std::filesystem::path outputFolder;
    PageSize pageSize = pages::a4At300Dpi;
    // --page: the paper the image (or the test page) is printed on.
    std::optional<LayoutRequest> layout;
    std::optional<std::filesystem::path> profile;
    PageSettings settings;
    std::uint32_t threads = 0;     // 0: one per core
    std::uint32_t previewDpi = 0;  // 0: automaticPreviewBoxSize
    bool quiet = false;
    bool force = false;  // replace files in the folder that no earlier run wrote
    bool writePlanes = false;
    PlaneFormat planeFormat = PlaneFormat::pnm;
    ImageLimits imageLimits;                    // --max-pixels, --max-memory
    LzsEncoder lzsEncoder = LzsEncoder::exact;  // --lzs
};

// --pages: the pages of a document to decode, as ranges FIRST-LAST (a
// single page N is N-N), in any order; none: every page.
struct PageSelection {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    bool all() const { return ranges.empty(); }
    bool includes(std::uint32_t page) const {
        if (ranges.empty()) return true;
        for (const auto& [first, last] : ranges)
            if (page >= first && page <= last) return true;
        return false;
    }
    std::uint32_t last() const {  // the highest page asked for; 0 for every page
        std::uint32_t highest = 0;
        for (const auto& range : ranges) highest = std::max(highest, range.second);
        return highest;
    }
};

struct DecodeCommand {
    std::filesystem::path raster;
    std::filesystem::path outputFolder;
    std::uint32_t previewDpi = 0;  // 0: automaticPreviewBoxSize
    // Where the raster's profile is now, if it has moved since printing.
    std::optional<std::filesystem::path> profile;
    PageSelection pages;
    bool quiet = false;
    bool force = false;  // replace files in the folder that no earlier run wrote
    bool writePlanes = false;
    PlaneFormat planeFormat = PlaneFormat::pnm;
    // --max-pixels, --max-memory: what a page may claim in its header
    // before anything is allocated for it.
    ImageLimits limits;
};

struct LzsCommand {
    bool compress = true;
    std::filesystem::path input;
    std::filesystem::path output;
    std::uint32_t bufferBytes = 1024;
    std::uint32_t budget = 8;
    bool force = false;  // replace an existing regular file
    bool quiet = false;
    bool raw = false;   // bare LZS streams instead of framed .lzs files
    bool best = false;  // the optimal-parse encoder
};

struct ScreensCommand {
    std::filesystem::path outputFolder;
    std::uint32_t scale = 8;
    bool quiet = false;
    bool force = false;  // replace files in the folder that no earlier run wrote
};

struct HelpCommand {
    std::string text;
};
struct VersionCommand {};

using Command = std::variant<HelpCommand, VersionCommand, PrintCommand, DecodeCommand, LzsCommand, ScreensCommand>;

Command parseCommandLine(const std::vector<std::string>& arguments);

// The help of the whole tool, or of one command ("print", "decode", "lzs",
// "screens").
std::string usageText(const std::string& command = {});

}  // namespace huecl::tool
