// The settings of one page: every choice that shapes its raster, recorded in
// the container header, and the names the front ends give the choices.
#pragma once

#include "huecl32.h"

#include <array>
#include <cstdint>
#include <string>

namespace huecl::pages {

// Colour generations of the library, as the raster header records them.
enum class EngineKind : std::uint32_t { later = 0, earlier = 1 };

// The ditherMode of a page that the earlier engine diffuses (QvColGosPrc)
// instead of screening; the screens' modes are the later dizMode values.
inline constexpr std::uint32_t errorDiffusionMode = 4;

struct Resolution {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
};

// Where the printed raster lies on the sheet of paper, in device dots: the
// sheet's size and the offset of the raster's top-left corner from the
// sheet's (the imageable area's, for a printer with margins). All zero:
// not known, and the raster is taken for the whole sheet.
struct SheetPlacement {
    std::uint32_t width = 0, height = 0;
    std::uint32_t x = 0, y = 0;
    bool known() const { return width != 0; }
    bool operator==(const SheetPlacement&) const = default;
};

// Everything that shapes the raster; recorded in the container header.
struct PageSettings {
    EngineKind engine = EngineKind::later;
    std::uint32_t ditherMode = HUECL_DITHER_2BIT;    // dizMode, or errorDiffusionMode
    std::uint32_t screenKind = HUECL_SCREEN_KIND_3;  // 0, 1, 2 (any other) or 3; the earlier engine's screenMode
    bool blackOnly = false;
    std::uint32_t matchMethod = HUECL_MATCH_INTERPOLATED;  // mchMode
    std::uint32_t blackMode = HUECL_BLACK_PURE;
    std::uint32_t gridSize = 17;  // interpolated method only; direct look-up is always 32
    Resolution source{300, 300};
    Resolution device{600, 600};
    std::int32_t brightness = 0;
    std::int32_t saturation = 0;
    std::array<std::int32_t, 3> balance{10, 10, 10};  // red, green, blue; 10 is neutral
    std::int32_t cmySaturation = 0;
    std::int32_t density = 0;
    std::uint32_t bandHeight = 128;  // device rows per band buffer
    std::uint32_t lzsBudget = 8;
    SheetPlacement sheet;  // recorded only; the raster is the same without it
};

// Formats of the uncompressed planes a front end may write beside the
// container.
enum class PlaneFormat : std::uint32_t { pnm, png, tiff };

// A choice by the name the front ends give it.
struct NamedValue {
    const char* name;
    std::uint32_t value;
};

inline constexpr NamedValue ditherModeNames[] = {{"1bit", HUECL_DITHER_1BIT},
                                                 {"4bit", HUECL_DITHER_4BIT},
                                                 {"1bit-spread", HUECL_DITHER_1BIT_SPREAD},
                                                 {"2bit", HUECL_DITHER_2BIT}};
inline constexpr NamedValue matchMethodNames[] = {{"direct", HUECL_MATCH_DIRECT},
                                                  {"interpolate", HUECL_MATCH_INTERPOLATED},
                                                  {"invert", HUECL_MATCH_INVERT},
                                                  {"eight", HUECL_MATCH_EIGHT_COLOURS},
                                                  {"black", HUECL_MATCH_BLACK}};

// Prints the page with black ink alone, matched by the black-only method.
// The colour methods leave to cyan, magenta and yellow all but the neutral
// part of a colour, which the black plane alone would drop: a face or an
// orange suit would vanish. Matched to black, every colour prints as its
// grey.
void printBlackOnly(PageSettings& page);

// Name of a dither mode or match method as the options spell it.
std::string ditherModeName(std::uint32_t ditherMode);
std::string matchMethodName(std::uint32_t matchMethod);

}  // namespace huecl::pages
