// The earlier generation's screens and diffusion on random records, with
// buffers of exactly the size the header gives: QvDizPtnMak and QvDizPtnPrn
// (the screens and their sample tiles), QvColDizPrc (ordered dithering of
// a row), QvColGosPrc and QvRgbGos (error diffusion over consecutive rows).
//
// A call writes at most ceil(devResY / srcResY) rows from its plane
// pointers, and the error rows cover devX + lineBytes * 8 + 1 columns (RGB:
// devX + srcWidth + 1). Geometry mostly stays where products fit 32 bits;
// one input in eight takes any 32-bit values.
#include <algorithm>
#include <array>

#include "colour_fuzz_input.h"

namespace {

using namespace colour_fuzz;

struct Screens {
    explicit Screens(FuzzInput& input) {
        info.monoFlag = input.below(3);
        info.screenMode = input.chance(4) ? input.word() : input.below(5);
        // A monochrome record needs only ptnK; the others stay null.
        if (info.monoFlag != 1) {
            patterns[0].assign(17 * 17, 0), patterns[1].assign(17 * 17, 0), patterns[2].assign(16 * 16, 0);
        }
        patterns[3].assign(16 * 16, 0);
        info.ptnC = pointerOrNull(patterns[0]), info.ptnM = pointerOrNull(patterns[1]);
        info.ptnY = pointerOrNull(patterns[2]), info.ptnK = pointerOrNull(patterns[3]);
        QvDizPtnMak(&info);
    }
    QvDizInf info{};
    std::array<Bytes, 4> patterns;
};

// A row's geometry and its planes: rowsBound rows of lineBytes each.
struct Row {
    explicit Row(FuzzInput& input) {
        const bool wild = input.chance(8);
        auto resolution = [&] { return wild ? input.word() : 1 + input.below(4800); };
        draw.srcWidth = input.below(300);
        draw.devResX = resolution(), draw.srcResX = resolution();
        draw.devResY = resolution(), draw.srcResY = resolution();
        if (input.chance(4)) draw.devResX = draw.srcResX, draw.devResY = draw.srcResY;
        draw.devX = input.below(4096);
        draw.devY = wild ? input.word() : input.below(100000);
        draw.srcX = wild ? input.word() : input.below(20000);
        draw.srcY = wild ? input.word() : input.below(20000);
        draw.lineBytes = input.below(257);
        const bool unscaled = draw.devResX == draw.srcResX && draw.devResY == draw.srcResY;
        rowsBound = unscaled || draw.srcResY == 0 ? 1 : (std::uint64_t{draw.devResY} + draw.srcResY - 1) / draw.srcResY;
        pixels = input.bytes(std::size_t{draw.srcWidth} * 4);
        draw.srcPixels = pointerOrNull(pixels);
    }
    // A call may write (and clear) every row it counts, however narrow: a
    // bound of millions of rows is slow, not wrong, and left alone.
    bool fits() const { return rowsBound <= 1024 && rowsBound * draw.lineBytes <= (1u << 18); }
    // Fresh planes for the next call: its rows start at the plane pointers.
    void attachPlanes() {
        for (Bytes& plane : planes) plane.assign(static_cast<std::size_t>(rowsBound * draw.lineBytes), 0xA5);
        draw.planeC = pointerOrNull(planes[0]), draw.planeM = pointerOrNull(planes[1]);
        draw.planeY = pointerOrNull(planes[2]), draw.planeK = pointerOrNull(planes[3]);
    }
    QvrDrwInf draw{};
    std::uint64_t rowsBound = 1;
    Bytes pixels;
    std::array<Bytes, 4> planes;
};

void fuzzSampleTile(FuzzInput& input) {
    const Screens screens(input);
    Bytes tile(128);
    const std::uint32_t level = input.below(256);
    QvDizPtnPrn(&screens.info, input.word(), level, tile.data());
    if (level == 0) require(std::all_of(tile.begin(), tile.end(), [](std::uint8_t b) { return b == 0; }));
    if (level == 255) require(std::all_of(tile.begin(), tile.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

void fuzzDither(FuzzInput& input) {
    const Screens screens(input);
    Row row(input);
    if (!row.fits()) return;
    for (std::uint32_t call = 0; call < 4; ++call) {
        row.attachPlanes();
        const std::uint32_t before = row.draw.devRow;
        QvColDizPrc(&screens.info, &row.draw);
        require(row.draw.devRow - before <= row.rowsBound);
    }
}

void fuzzDiffusion(FuzzInput& input) {
    const Screens screens(input);
    Row row(input);
    if (!row.fits()) return;
    QvErrInf errors{};
    errors.cmykSet = input.below(3);
    errors.rgbSet = input.below(3);
    const std::uint32_t cmykCells = row.draw.devX + row.draw.lineBytes * 8 + 1;
    const std::uint32_t rgbCells = row.draw.devX + row.draw.srcWidth + 1;
    errors.cmykCells0 = errors.cmykCells1 = cmykCells;
    errors.rgbCells0 = errors.rgbCells1 = rgbCells;
    errors.cmykLastRow0 = input.word(), errors.cmykLastRow1 = input.word();
    errors.rgbLastRow0 = input.word(), errors.rgbLastRow1 = input.word();
    std::array<std::vector<std::int16_t>, 4> cmykRows, rgbRows;
    for (auto& cells : cmykRows) cells.assign((std::size_t{cmykCells} + 1) * 4, 0);
    for (auto& cells : rgbRows) cells.assign((std::size_t{rgbCells} + 1) * 3, 0);
    errors.cmykRowA0 = cmykRows[0].data(), errors.cmykRowB0 = cmykRows[1].data();
    errors.cmykRowA1 = cmykRows[2].data(), errors.cmykRowB1 = cmykRows[3].data();
    errors.rgbRowA0 = rgbRows[0].data(), errors.rgbRowB0 = rgbRows[1].data();
    errors.rgbRowA1 = rgbRows[2].data(), errors.rgbRowB1 = rgbRows[3].data();
    Bytes rgb = input.bytes(std::size_t{row.draw.srcWidth} * 3);
    for (std::uint32_t call = 0; call < 4; ++call) {
        QvRgbGos(&row.draw, &errors, pointerOrNull(rgb));
        row.attachPlanes();
        const std::uint32_t before = row.draw.devRow;
        QvColGosPrc(&screens.info, &row.draw, &errors);
        require(row.draw.devRow - before <= row.rowsBound);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    switch (input.below(4)) {
        case 0: {
            const Screens screens(input);
            break;
        }
        case 1: fuzzSampleTile(input); break;
        case 2: fuzzDither(input); break;
        default: fuzzDiffusion(input); break;
    }
    return 0;
}
