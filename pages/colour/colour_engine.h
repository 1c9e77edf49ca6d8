// What the band loop needs from a colour generation: the page geometry it
// derives, and per worker thread a renderer with its own records, match
// cache and state that turns a band of RGB rows into packed planes.
//
// The later generation (Qvr exports) is one engine; the earlier generation
// is another, with its own screens, matching and error diffusion, behind the
// same band loop, container and preview.
#pragma once

#include "pages/colour/stage_times.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace huecl::pages {

// How a renderer's source rows arrive: RGB pixels (blue, green, red) that
// it matches to CMYK itself, or CMYK pixels that some earlier stage (a
// raster image processor) has already separated and that go straight to
// the CMYK adjustment and halftoning.
enum class SourcePixels : std::uint32_t { bgr = 3, cmyk = 4 };

struct PageGeometry {
    std::uint32_t sourceWidth = 0, sourceHeight = 0;
    SourcePixels sourcePixels = SourcePixels::bgr;
    std::uint32_t deviceWidth = 0, deviceHeight = 0;
    std::uint32_t lineBytes = 0;  // one device row of one plane
    std::uint32_t bitsPerDot = 0;
    std::uint32_t planeCount = 0;  // 4 (cyan, magenta, yellow, black) or 1 (black)
    std::uint32_t bandHeight = 0;  // device rows a band buffer holds
    std::uint32_t sourceRowsPerBand = 0;
    std::uint32_t bandCount = 0;

    size_t sourceRowBytes() const { return size_t{sourceWidth} * static_cast<std::uint32_t>(sourcePixels); }
    std::uint32_t firstSourceRow(std::uint32_t band) const { return band * sourceRowsPerBand; }
    // Each source row yields the device rows up to the next source row's
    // position on the device grid (rounded down), so a band starts where
    // its first source row lands.
    std::uint32_t deviceResY = 1, sourceResY = 1;
    std::uint32_t firstDeviceRow(std::uint32_t band) const {
        return static_cast<std::uint32_t>(std::uint64_t{firstSourceRow(band)} * deviceResY / sourceResY);
    }
    std::uint32_t sourceRowsIn(std::uint32_t band) const {
        const std::uint32_t first = firstSourceRow(band);
        return first + sourceRowsPerBand <= sourceHeight ? sourceRowsPerBand : sourceHeight - first;
    }
};

// The band buffer of one worker: planeCount planes of bandHeight rows.
struct BandPlanes {
    std::array<std::vector<std::uint8_t>, 4> planes;
    std::uint32_t deviceRows = 0;  // rows the last band filled
};

class BandRenderer {
public:
    virtual ~BandRenderer() = default;
    // Renders source rows [firstSourceRow, firstSourceRow + rows), given in
    // the geometry's source pixel format (adjusted in place), into out.
    virtual void renderBand(std::uint32_t firstSourceRow, std::uint32_t rows, std::span<std::uint8_t> bgrRows,
                            BandPlanes& out, StageTimes& times) = 0;
    // A band of the page failed; renderers waiting inside renderBand for an
    // earlier band's turn stop waiting.
    virtual void abandonPage() {}
};

class ColourEngine {
public:
    virtual ~ColourEngine() = default;
    virtual const PageGeometry& geometry() const = 0;
    virtual std::unique_ptr<BandRenderer> makeRenderer() const = 0;
    // The renderers of one page, one per worker. Bands start in page order,
    // one worker each; error diffusion carries its error rows from one band
    // into the next, so such an engine's renderers share them and take turns
    // in page order for that part inside renderBand, while the rest of each
    // band runs in parallel. Ordered screens depend only on device positions.
    virtual std::vector<std::unique_ptr<BandRenderer>> makeRenderers(unsigned count) const {
        std::vector<std::unique_ptr<BandRenderer>> renderers;
        for (unsigned i = 0; i < count; ++i) renderers.push_back(makeRenderer());
        return renderers;
    }
};

}  // namespace huecl::pages
