// Command lines of the huecl tool, parsed and range-checked into plain
// settings. Every problem becomes a ToolError naming the option and what it
// accepts.
#pragma once

#include "huecl32.h"
#include "image_source.h"
#include "page_layout.h"
#include "test_page.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace huecl::tool {

// Colour generations of the library, as the raster header records them.
enum class EngineKind : uint32_t { later = 0, earlier = 1 };

// The ditherMode of a page that the earlier engine diffuses (QvColGosPrc)
// instead of screening; the screens' modes are the later dizMode values.
inline constexpr uint32_t errorDiffusionMode = 4;

struct Resolution {
    uint32_t x = 0;
    uint32_t y = 0;
};

// Everything that shapes the raster; recorded in the container header.
struct PageSettings {
    EngineKind engine = EngineKind::later;
    uint32_t ditherMode = HUECL_DITHER_2BIT;    // dizMode, or errorDiffusionMode
    uint32_t screenKind = HUECL_SCREEN_KIND_3;  // 0, 1, 2 (any other) or 3; the earlier engine's screenMode
    bool blackOnly = false;
    uint32_t matchMethod = HUECL_MATCH_INTERPOLATED;  // mchMode
    uint32_t blackMode = HUECL_BLACK_PURE;
    uint32_t gridSize = 17;  // interpolated method only; direct look-up is always 32
    Resolution source{300, 300};
    Resolution device{600, 600};
    int32_t brightness = 0;
    int32_t saturation = 0;
    std::array<int32_t, 3> balance{10, 10, 10};  // red, green, blue; 10 is neutral
    int32_t cmySaturation = 0;
    int32_t density = 0;
    uint32_t bandHeight = 128;  // device rows per band buffer
    uint32_t lzsBudget = 8;
};

// Formats of the uncompressed planes (--planes=FORMAT).
enum class PlaneFormat : uint32_t { pnm, png, tiff };

struct PrintCommand {
    std::optional<std::filesystem::path> image;  // none: the built-in test page
    std::filesystem::path outputFolder;
    PageSize pageSize = a4At300Dpi;
    // --page: the paper the image (or the test page) is printed on.
    std::optional<LayoutRequest> layout;
    std::optional<std::filesystem::path> profile;
    PageSettings settings;
    uint32_t threads = 0;     // 0: one per core
    uint32_t previewDpi = 0;  // 0: automaticPreviewBoxSize
    bool quiet = false;
    bool writePlanes = false;
    PlaneFormat planeFormat = PlaneFormat::pnm;
    ImageLimits imageLimits;  // --max-pixels, --max-memory
};

struct DecodeCommand {
    std::filesystem::path raster;
    std::filesystem::path outputFolder;
    uint32_t previewDpi = 0;  // 0: automaticPreviewBoxSize
    // Where the raster's profile is now, if it has moved since printing.
    std::optional<std::filesystem::path> profile;
    bool quiet = false;
    bool writePlanes = false;
    PlaneFormat planeFormat = PlaneFormat::pnm;
};

struct LzsCommand {
    bool compress = true;
    std::filesystem::path input;
    std::filesystem::path output;
    uint32_t bufferBytes = 1024;
    uint32_t budget = 8;
    bool force = false;  // replace an existing regular file
    bool quiet = false;
    bool raw = false;  // bare LZS streams instead of framed .lzs files
};

struct ScreensCommand {
    std::filesystem::path outputFolder;
    uint32_t scale = 8;
    bool quiet = false;
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

// Name of a dither mode or match method as the options spell it.
std::string ditherModeName(uint32_t ditherMode);
std::string matchMethodName(uint32_t matchMethod);

}  // namespace huecl::tool
