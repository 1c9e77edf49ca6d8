// The built-in test page, rendered a row at a time.
#include "pages/readers/test_page.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <vector>

namespace huecl::pages {
namespace {

struct Rgb {
    double red, green, blue;  // 0..1
};

Rgb mix(Rgb a, Rgb b, double t) {
    return {a.red + (b.red - a.red) * t, a.green + (b.green - a.green) * t, a.blue + (b.blue - a.blue) * t};
}

constexpr Rgb white{1, 1, 1};
constexpr Rgb black{0, 0, 0};

// Ramps from paper to full colorant or primary: cyan, magenta, yellow, black
// (stepped), red, green, blue and a smooth grey that runs the other way.
struct Ramp {
    Rgb full;
    bool stepped;
    bool fromDark;
};
constexpr std::array<Ramp, 8> ramps{{
    {{0, 1, 1}, false, false},
    {{1, 0, 1}, false, false},
    {{1, 1, 0}, false, false},
    {{0, 0, 0}, true, false},
    {{1, 0, 0}, false, false},
    {{0, 1, 0}, false, false},
    {{0, 0, 1}, false, false},
    {{0, 0, 0}, false, true},
}};

// Cheap deterministic hash for the text-like glyphs.
std::uint32_t hashCell(std::uint32_t a, std::uint32_t b) {
    std::uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0xC2B2AE3Du;
    return h ^ (h >> 13);
}

// Terms that depend on the column only, computed once: the scene costs a
// few multiplications per pixel instead of divisions and several sines.
// Each is the very expression the pixel would compute, so the page's bytes
// do not depend on the caching.
struct ColumnTerms {
    double u, innerU;  // across the page, across the inner area
    bool margin;       // in the white margin left or right
    int lineColumn;    // group of the line pairs
    bool lineGap;      // white between two groups
    bool downLine;     // on a line of the lines that run down
    double hill;
    double rippleShift;
    double sinFine, cosFine;      // of u * 90
    double sinCoarse, cosCoarse;  // of u * 23
    double ballDx2, sunDx2;       // squared distances across to the ball and the sun
};

struct RowTerms {
    double sinFine, cosFine;      // of v * 40
    double sinCoarse, cosCoarse;  // of v * 70
    double linePhase;             // fmod(v, 0.5) in the detail area
    double ballDy2, sunDy2;       // squared distances down to the ball and the sun
};

// The text-like glyph last looked up along a row, so that its hashes are
// computed once per glyph instead of once per pixel.
struct GlyphCache {
    std::uint32_t glyph = UINT32_MAX;
    bool space = false;
    std::uint32_t shape = 0;
};

class TestPage final : public ImageSource {
public:
    explicit TestPage(PageSize size) : size_(size), star_(starOf(size)), columns_(size.width) {
        for (size_t edge = 0; edge < spokeEdges_.size(); ++edge) {
            const double angle = -std::numbers::pi + 2 * std::numbers::pi * static_cast<double>(edge) / spokes;
            spokeEdges_[edge] = {std::cos(angle), std::sin(angle)};
        }
        for (std::uint32_t x = 0; x < size.width; ++x) {
            const double pageU = (x + 0.5) / size.width;
            const double u = photoU(pageU);
            const double lineU = (u - 0.3) / 0.3;
            const int lineColumn = static_cast<int>(lineU * 4);
            const bool inLines = !(u < 0.3) && u < 0.6;
            const std::uint32_t lineWidth = inLines ? static_cast<std::uint32_t>(lineColumn) + 1 : 1;
            columns_[x] = {pageU,
                           u,
                           pageU < margin || pageU > 1 - margin,
                           lineColumn,
                           lineU * 4 - lineColumn > 0.85,
                           inLines && (x / lineWidth) % 2 == 0,
                           0.55 + 0.08 * std::sin(u * 7.0) + 0.04 * std::sin(u * 17.0 + 1.3),
                           std::sin(u * 30) * 2,
                           std::sin(u * 90),
                           std::cos(u * 90),
                           std::sin(u * 23),
                           std::cos(u * 23),
                           square((u - ballX) * aspect),
                           square((u - sunX) * aspect)};
        }
    }

    std::uint32_t width() const override { return size_.width; }
    std::uint32_t height() const override { return size_.height; }
    std::string description() const override {
        return "built-in test page " + std::to_string(size_.width) + "x" + std::to_string(size_.height);
    }

    void readRows(std::span<std::uint8_t> rows) override {
        renderRows(nextRow_, rows);
        nextRow_ += static_cast<std::uint32_t>(rows.size() / (size_t{size_.width} * 3));
    }

    bool rendersRowsOnDemand() const override { return true; }

    void renderRows(std::uint32_t firstRow, std::span<std::uint8_t> rows) const override {
        const size_t rowBytes = size_t{size_.width} * 3;
        std::uint32_t y = firstRow;
        // A row of the ramps depends on the ramp, the gap and the patches
        // only, so runs of rows alike are rendered once and copied.
        std::optional<RampRow> previousRamp;
        for (size_t offset = 0; offset + rowBytes <= rows.size(); offset += rowBytes, ++y) {
            const auto ramp = rampRowOf(y);
            if (ramp && previousRamp && *ramp == *previousRamp)
                std::memcpy(rows.data() + offset, rows.data() + offset - rowBytes, rowBytes);
            else
                renderRow(y, rows.subspan(offset, rowBytes));
            previousRamp = ramp;
        }
    }

private:
    static constexpr double margin = 0.04;
    // The photo's proportions, its ball and its sun.
    static constexpr double aspect = 2.2;
    static constexpr double ballX = 0.78, ballY = 0.45, ballRadius = 0.16;
    static constexpr double sunX = 0.25, sunY = 0.22;
    static double square(double value) { return value * value; }
    // Glyphs of 5 x 7 pixels in cells of 6 x 10.
    static constexpr std::uint32_t glyphWidth = 6, glyphHeight = 10, glyphColumns = 5, glyphRows = 7;
    static double photoU(double u) { return (u - margin) / (1 - 2 * margin); }

    struct RampRow {
        size_t index;
        bool gap, patches;
        bool operator==(const RampRow&) const = default;
    };

    // What a row of the ramp area depends on; nothing for other rows.
    std::optional<RampRow> rampRowOf(std::uint32_t y) const {
        const double v = (y + 0.5) / size_.height;
        if (v < 0.03 || v > 0.97 || v >= 0.38) return std::nullopt;
        const double slot = (v - 0.03) / 0.35 * ramps.size();
        const size_t index = std::min(static_cast<size_t>(slot), ramps.size() - 1);
        const double within = slot - static_cast<double>(index);
        return RampRow{index, within > 0.85, within > 0.55};
    }

    void renderRow(std::uint32_t y, std::span<std::uint8_t> row) const {
        const double v = (y + 0.5) / size_.height;
        const double photoV = (v - 0.40) / 0.30;
        const double detailV = (v - 0.72) / 0.25;
        const RowTerms rowTerms{std::sin(photoV * 40), std::cos(photoV * 40),   std::sin(photoV * 70),
                                std::cos(photoV * 70), std::fmod(detailV, 0.5), square(photoV - ballY),
                                square(photoV - sunY)};
        if (v > 0.72 && v <= 0.97) {
            renderDetailRow(y, detailV, rowTerms, row);
            return;
        }
        for (std::uint32_t x = 0; x < size_.width; ++x) put(row, x, shade(v, x, rowTerms));
    }

    static void put(std::span<std::uint8_t> row, std::uint32_t x, Rgb colour) {
        row[3 * x + 0] = toByte(colour.blue);
        row[3 * x + 1] = toByte(colour.green);
        row[3 * x + 2] = toByte(colour.red);
    }

    // A row of the detail area: the star left, then groups of lines one to
    // four source pixels wide (a group's width in its column terms), across
    // in the upper half and down in the lower, in black and in the three
    // primaries of the printer by fmod(v, 0.5), and the text right. What
    // does not change along the row is worked out once: the lines' colour
    // and which widths of lines across are on.
    void renderDetailRow(std::uint32_t y, double detailV, const RowTerms& rowTerms, std::span<std::uint8_t> row) const {
        const bool textRow = y % glyphHeight < glyphRows;
        const bool across = detailV < 0.5;
        const double phase = rowTerms.linePhase;
        constexpr std::array<Rgb, 4> inks{{{0, 0, 0}, {0, 1, 1}, {1, 0, 1}, {1, 1, 0}}};
        const bool linesOff = phase > 0.45;
        const Rgb ink = linesOff ? white : inks[static_cast<size_t>(phase / 0.125) % 4];
        // Groups 0-3, and 4 for a column whose (u - 0.3) / 0.3 rounds up to 1.
        std::array<bool, 5> acrossOn{};
        for (std::uint32_t width = 1; width <= acrossOn.size(); ++width) acrossOn[width - 1] = (y / width) % 2 == 0;
        GlyphCache glyphs;
        std::uint32_t spoke = noSpoke;
        for (std::uint32_t x = 0; x < size_.width; ++x) {
            const ColumnTerms& column = columns_[x];
            if (column.margin) {
                put(row, x, white);
            } else if (column.innerU < 0.3) {
                const double px = (x + 0.5 - star_.centreX) / star_.radius;
                const double py = (y + 0.5 - star_.centreY) / star_.radius;
                put(row, x, starPixel(px, py, spoke));
            } else if (column.innerU < 0.6) {
                const bool on = !linesOff && !column.lineGap &&
                                (across ? acrossOn[static_cast<size_t>(column.lineColumn)] : column.downLine);
                put(row, x, on ? ink : white);
            } else {
                put(row, x, textRow ? textLines(x, y, glyphs) : white);
            }
        }
    }

    static std::uint8_t toByte(double value) {
        return static_cast<std::uint8_t>(std::clamp(value, 0.0, 1.0) * 255.0 + 0.5);
    }

    Rgb shade(double v, std::uint32_t x, const RowTerms& rowTerms) const {
        const ColumnTerms& column = columns_[x];
        if (column.margin || v < 0.03 || v > 0.97) return white;
        const double innerU = column.innerU;
        if (v < 0.38) return rampArea(innerU, (v - 0.03) / 0.35);
        if (v > 0.40 && v < 0.70) return photoArea(innerU, (v - 0.40) / 0.30, column, rowTerms);
        return white;  // between the areas; renderDetailRow() does the detail area
    }

    static Rgb rampArea(double u, double v) {
        const double slot = v * ramps.size();
        const size_t index = std::min(static_cast<size_t>(slot), ramps.size() - 1);
        const double within = slot - static_cast<double>(index);
        if (within > 0.85) return white;  // gap between ramps
        const Ramp& ramp = ramps[index];
        double t = u;
        if (ramp.stepped || within > 0.55) t = std::floor(u * 11) / 10;  // 0 %, 10 %, ... 100 % patches
        t = std::min(t, 1.0);
        return ramp.fromDark ? mix(black, white, t) : mix(white, ramp.full, t);
    }

    // A landscape of soft gradients: sky, sun, hills, a lake and a shaded ball.
    static Rgb photoArea(double u, double v, const ColumnTerms& column, const RowTerms& row) {
        // Squares and sums as the pixel's own distances would give them.
        if (column.ballDx2 + row.ballDy2 < ballRadius * ballRadius) {
            const double dx = (u - ballX) * aspect, dy = v - ballY;
            const double nx = dx / ballRadius, ny = dy / ballRadius;
            const double nz = std::sqrt(std::max(0.0, 1 - nx * nx - ny * ny));
            const double light = std::clamp(0.25 + 0.75 * (-0.5 * nx - 0.6 * ny + 0.62 * nz), 0.0, 1.0);
            const double facing = std::max(0.0, -0.4 * nx - 0.5 * ny + 0.77 * nz);
            const double facing8 = facing * facing * facing * facing * facing * facing * facing * facing;
            const double highlight = facing8 * facing8 * facing8 * facing8 * facing8;  // facing^40
            const Rgb skin{0.93, 0.68, 0.52};
            return mix(mix(Rgb{0.25, 0.1, 0.08}, skin, light), white, highlight);
        }
        const double hill = column.hill;
        if (v < hill) {
            const double sunDistance = std::sqrt(column.sunDx2 + row.sunDy2);
            if (sunDistance < 0.06) return Rgb{1, 0.97, 0.8};
            Rgb sky = mix(Rgb{0.15, 0.35, 0.8}, Rgb{0.95, 0.8, 0.6}, v / hill);
            const double glow = std::exp(-sunDistance * 9);
            return mix(sky, Rgb{1, 0.95, 0.7}, glow);
        }
        const double depth = (v - hill) / (1 - hill);
        if (v > 0.82) {
            const double ripple = 0.5 + 0.5 * std::sin(v * 240 + column.rippleShift);
            return mix(Rgb{0.1, 0.3, 0.45}, Rgb{0.35, 0.6, 0.75}, ripple * (1 - depth * 0.5));
        }
        // sin(u*90 + v*40) * sin(u*23 - v*70), from the column and row terms.
        const double fine = column.sinFine * row.cosFine + column.cosFine * row.sinFine;
        const double coarse = column.sinCoarse * row.cosCoarse - column.cosCoarse * row.sinCoarse;
        const double texture = 0.5 + 0.5 * fine * coarse;
        return mix(Rgb{0.45, 0.6, 0.2}, Rgb{0.2, 0.35, 0.1}, depth * 0.7 + texture * 0.3);
    }

    // 72 alternating spokes; they meet at the centre in detail finer than a dot.
    static constexpr std::uint32_t spokes = 72;
    static std::uint32_t spokeOf(double px, double py) {
        const double angle = std::atan2(py, px);
        return static_cast<std::uint32_t>(std::floor((angle + std::numbers::pi) / (2 * std::numbers::pi) * spokes));
    }

    // Inside 0.95 radii, a pixel is dark in the even spokes. Along a row, a
    // pixel that lies well inside the spoke of the pixel before it is in
    // that spoke, and only a pixel next to an edge (or the first of a row)
    // takes the arc tangent. "Well inside" is more
    // than 1e-9 of a radius from both edges (cross products with the edges'
    // directions, which are within 1e-15 of the true ones), so the angle is
    // more than 1e-9 inside the spoke, where the arc tangent's and the
    // spoke number's rounding errors (below 1e-13 in spoke units) cannot
    // move it to the next spoke: the spoke is the one spokeOf() gives.
    static constexpr std::uint32_t noSpoke = UINT32_MAX;
    Rgb starPixel(double px, double py, std::uint32_t& spoke) const {
        const double radius = std::sqrt(px * px + py * py);
        if (radius > 0.95) return white;
        if (spoke >= spokes || !wellInsideSpoke(spoke, px, py)) spoke = spokeOf(px, py);
        return spoke % 2 == 0 ? black : white;
    }

    bool wellInsideSpoke(std::uint32_t spoke, double px, double py) const {
        constexpr double inside = 1e-9;
        const Direction from = spokeEdges_[spoke], to = spokeEdges_[spoke + 1];
        return from.x * py - from.y * px > inside && px * to.y - py * to.x > inside;
    }

    // Lines of small glyph-like shapes, 5 x 7 pixels each, grouped in words.
    static Rgb textLines(std::uint32_t x, std::uint32_t y, GlyphCache& cache) {
        const std::uint32_t line = y / glyphHeight, rowInGlyph = y % glyphHeight;
        const std::uint32_t glyph = x / glyphWidth, columnInGlyph = x % glyphWidth;
        if (rowInGlyph >= glyphRows || columnInGlyph >= glyphColumns) return white;
        if (cache.glyph != glyph) {
            cache.glyph = glyph;
            cache.space = hashCell(line, glyph / 7) % 7 == 0 || glyph % 7 == 6;
            cache.shape = hashCell(line * 131 + 7, glyph);
        }
        if (cache.space) return white;  // spaces between words
        const std::uint32_t shape = cache.shape;
        const bool stem = columnInGlyph == (shape % 3) * 2;
        const bool bar = rowInGlyph == ((shape >> 4) % 4) * 2;
        const bool dot = ((shape >> (8 + rowInGlyph * 3 + columnInGlyph % 3)) & 1) && rowInGlyph % 3 == 0;
        return stem || bar || dot ? black : white;
    }

    PageSize size_;
    // Where the star is, in pixels: round whatever the page's proportions.
    struct StarPlace {
        double centreX, centreY, radius;
    };
    static StarPlace starOf(PageSize size) {
        const double width = size.width, height = size.height;
        return {(margin + 0.15 * (1 - 2 * margin)) * width, 0.845 * height,
                std::min(0.14 * (1 - 2 * margin) * width, 0.12 * height)};
    }
    StarPlace star_;
    std::vector<ColumnTerms> columns_;
    // The spokes' edges, from angle -pi: their directions.
    struct Direction {
        double x, y;
    };
    std::array<Direction, spokes + 1> spokeEdges_{};
    std::uint32_t nextRow_ = 0;
};

}  // namespace

std::unique_ptr<ImageSource> makeTestPage(PageSize size) { return std::make_unique<TestPage>(size); }

}  // namespace huecl::pages
