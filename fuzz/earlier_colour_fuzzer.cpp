// The earlier generation's colour calls on random records, with buffers of
// exactly the size the header gives: QvColMchPrc through every method (the
// 32-point table for methods 0 and 1, the MatchCache for method 1 only),
// QvColCtrRgb, QvColCtrCmy and the tone curve QvTnrTblMak.
#include <algorithm>

#include "colour_fuzz_input.h"

namespace {

using namespace colour_fuzz;

void fuzzMatch(FuzzInput& input) {
    QvDizInf screens{};
    screens.screenMode = input.word();
    QvrMchInf match{};
    match.mchMode = input.below(6);
    match.blackMode = input.below(4);
    match.gridSize = input.word();  // not read
    Bytes table, keys, values;
    if (match.mchMode == HUECL_MATCH_DIRECT || match.mchMode == HUECL_MATCH_INTERPOLATED)
        table = input.bytes(32 * 32 * 32 * 4);
    if (match.mchMode == HUECL_MATCH_INTERPOLATED) {
        // White prints as paper, as the cleared cache answers it.
        std::fill(table.end() - 4, table.end(), 0);
        keys.assign(HUECL_MATCH_CACHE_KEY_BYTES, 0), values.assign(HUECL_MATCH_CACHE_VALUE_BYTES, 0);
        match.cacheKeys = keys.data(), match.cacheValues = values.data();
        QvrColCchIni(&match);
    }
    match.mchTable = pointerOrNull(table);
    const std::uint32_t count = input.below(300);
    const Bytes source = input.bytes(std::size_t{count} * 3);
    Bytes first(std::size_t{count} * 4), second(std::size_t{count} * 4);
    QvColMchPrc(&screens, count, source.data(), pointerOrNull(first), &match);
    QvColMchPrc(&screens, count, source.data(), pointerOrNull(second), &match);
    require(first == second);
}

void fuzzRgbAdjustment(FuzzInput& input) {
    QvCtrRgbInf control{};
    control.brightness = input.signedWord();
    control.saturation = input.signedWord();
    control.gammaR = input.signedWord(), control.gammaG = input.signedWord(), control.gammaB = input.signedWord();
    Bytes tone = optionalTable(input);
    control.preTable = pointerOrNull(tone);
    const std::uint32_t count = input.below(300);
    Bytes pixels = input.bytes(std::size_t{count} * 3);
    QvColCtrRgb(count, pointerOrNull(pixels), &control);
}

void fuzzToneCurves(FuzzInput& input) {
    Bytes curve(256);
    QvTnrTblMak(input.signedWord(), curve.data());
    require(curve[0] == 0 && curve[255] == 255);
    QvCtrCmyInf control{};
    control.reserved = input.signedWord();
    Bytes tone = optionalTable(input);
    control.cmyTable = pointerOrNull(tone);
    const std::uint32_t count = input.below(300);
    Bytes pixels = input.bytes(std::size_t{count} * 4);
    const Bytes before = pixels;
    QvColCtrCmy(count, pointerOrNull(pixels), &control);
    for (std::size_t index = 0; index < pixels.size(); ++index)
        require(pixels[index] == (tone.empty() ? before[index] : tone[before[index]]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    switch (input.below(3)) {
        case 0: fuzzMatch(input); break;
        case 1: fuzzRgbAdjustment(input); break;
        default: fuzzToneCurves(input); break;
    }
    return 0;
}
