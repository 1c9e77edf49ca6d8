// The later generation's colour calls on random records, each with buffers
// of exactly the size the header gives: matching through every method (the
// MatchCache cleared by QvrColCchIni and then used twice), the RGB and CMYK
// adjustments, CMYK to RGB through a table, palette expansion and the
// density curve.
//
// Input: the first word picks the call, the following words fill its
// record, the rest of the input becomes its pixels and tables.
#include <algorithm>

#include "colour_fuzz_input.h"

namespace {

using namespace colour_fuzz;

void fuzzMatch(FuzzInput& input) {
    QvrMchInf match{};
    match.mchMode = input.below(6);
    match.blackMode = input.below(4);
    match.gridSize = match.mchMode == HUECL_MATCH_INTERPOLATED ? input.below(34) : input.word();
    // Direct matching reads the 32-point table whatever gridSize says,
    // interpolation gridSize^3 entries (one for 0 or 1), the rest none.
    Bytes table;
    if (match.mchMode == HUECL_MATCH_DIRECT) table = input.bytes(32 * 32 * 32 * 4);
    if (match.mchMode == HUECL_MATCH_INTERPOLATED) {
        const std::size_t points = match.gridSize < 2 ? 1 : match.gridSize;
        table = input.bytes(points * points * points * 4);
        // A cleared cache answers white with no colorant, as a table that
        // prints white as paper does; with any other white entry a white
        // pixel would match differently once its slot is taken.
        std::fill(table.end() - 4, table.end(), 0);
    }
    match.mchTable = pointerOrNull(table);
    Bytes keys(HUECL_MATCH_CACHE_KEY_BYTES), values(HUECL_MATCH_CACHE_VALUE_BYTES);
    match.cacheKeys = keys.data(), match.cacheValues = values.data();
    QvrColCchIni(&match);
    const std::uint32_t count = input.below(300);
    const Bytes source = input.bytes(std::size_t{count} * 3);
    Bytes first(std::size_t{count} * 4), second(std::size_t{count} * 4);
    QvrColMchPrc(count, source.data(), pointerOrNull(first), &match);
    // The same pixels again, now through a warm cache: the same colours.
    QvrColMchPrc(count, source.data(), pointerOrNull(second), &match);
    require(first == second);
}

void fuzzRgbAdjustment(FuzzInput& input) {
    QvrCtrRgbInf control{};
    control.brightness = input.signedWord();
    control.saturation = input.signedWord();
    control.gammaR = input.signedWord(), control.gammaG = input.signedWord(), control.gammaB = input.signedWord();
    Bytes tone = optionalTable(input);
    control.preTable = pointerOrNull(tone);
    const std::uint32_t count = input.below(300);
    Bytes pixels = input.bytes(std::size_t{count} * 3);
    QvrColCtrRgb(count, pointerOrNull(pixels), &control);
}

void fuzzCmykAdjustment(FuzzInput& input) {
    QvrCtrCmyInf control{};
    control.saturation = input.signedWord();
    Bytes tone = optionalTable(input);
    control.cmyTable = pointerOrNull(tone);
    const std::uint32_t count = input.below(300);
    Bytes pixels = input.bytes(std::size_t{count} * 4);
    QvrColCtrCmy(count, pointerOrNull(pixels), &control);
}

void fuzzCmykToRgb(FuzzInput& input) {
    const std::uint32_t gridSize = input.below(18);
    const std::size_t points = gridSize == 0 ? 1 : gridSize;
    const Bytes table = input.bytes(points * points * points * points * 3);
    const std::uint32_t count = input.below(300);
    const Bytes source = input.bytes(std::size_t{count} * 4);
    Bytes destination(std::size_t{count} * 3);
    QvrColCnvC2r(count, source.data(), pointerOrNull(destination), gridSize, table.data());
}

void fuzzPalette(FuzzInput& input) {
    const std::uint32_t bitsPerPixel = input.below(33);
    const std::uint32_t count = input.below(300);
    const std::size_t entries = bitsPerPixel <= 8 ? std::size_t{1} << bitsPerPixel : 256;
    std::vector<std::uint32_t> palette(entries);
    for (std::uint32_t& entry : palette) entry = input.word();
    Bytes source = input.bytes((std::size_t{count} * bitsPerPixel + 7) / 8);
    std::vector<std::uint32_t> destination(count);
    QvrColPtcPrc(bitsPerPixel, count, pointerOrNull(source), destination.empty() ? nullptr : destination.data(),
                 palette.data());
    for (std::uint32_t pixel = 0; pixel < count; ++pixel) {
        bool fromPalette = false;
        for (const std::uint32_t entry : palette) fromPalette = fromPalette || entry == destination[pixel];
        require(fromPalette);
    }
}

void fuzzDensity(FuzzInput& input) {
    Bytes table(256);
    QvrColDnsMak(input.signedWord(), table.data());
    require(table[0] == 0 && table[255] == 255);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    switch (input.below(6)) {
        case 0: fuzzMatch(input); break;
        case 1: fuzzRgbAdjustment(input); break;
        case 2: fuzzCmykAdjustment(input); break;
        case 3: fuzzCmykToRgb(input); break;
        case 4: fuzzPalette(input); break;
        default: fuzzDensity(input); break;
    }
    return 0;
}
