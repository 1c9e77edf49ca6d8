// The later generation's screens on random records: QvrColDizInfSet builds
// the matrices, QvrColDrwInfSet counts the source rows that fit plane
// buffers of a chosen size, and QvrColDizPrc screens that many rows into
// buffers of exactly that size. The rows written must stay inside them.
//
// Geometry mostly keeps positions times resolutions below 2^32, as the
// header asks; one input in eight takes any 32-bit values, where the row
// counts must still agree with the set-up.
#include <algorithm>
#include <array>

#include "colour_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace colour_fuzz;
    FuzzInput input(data, size);
    QvrDizInf dither{};
    dither.blackOnly = input.below(3);
    dither.dizMode = input.below(6);
    dither.screenKind = input.below(6);
    std::array<Bytes, 4> matrices;
    for (Bytes& matrix : matrices) matrix.assign(HUECL_MAX_THRESHOLD_MATRIX_BYTES, 0);
    dither.matrixC = matrices[0].data(), dither.matrixM = matrices[1].data();
    dither.matrixY = matrices[2].data(), dither.matrixK = matrices[3].data();
    QvrColDizInfSet(&dither);
    for (const std::uint32_t edge : {dither.sizeC, dither.sizeM, dither.sizeY, dither.sizeK})
        require(std::uint64_t{edge} * edge <= HUECL_MAX_THRESHOLD_MATRIX_BYTES);

    QvrDrwInf draw{};
    const bool wild = input.chance(8);
    draw.srcWidth = input.below(400);
    auto resolution = [&] { return wild ? input.word() : 1 + input.below(4800); };
    draw.devResX = resolution(), draw.srcResX = resolution();
    draw.devResY = resolution(), draw.srcResY = resolution();
    draw.devX = wild ? input.word() : input.below(20000);
    draw.devY = wild ? input.word() : input.below(20000);
    QvrColDrwInfSet(&dither, &draw, 0);
    const std::uint32_t bufferRows = 1 + input.below(64);
    if (draw.lineBytes == 0 || std::uint64_t{draw.lineBytes} * bufferRows > (1u << 20)) return 0;
    const std::uint32_t bufferBytes = draw.lineBytes * bufferRows;
    const std::uint32_t sourceRows = QvrColDrwInfSet(&dither, &draw, bufferBytes);

    std::array<Bytes, 4> planes;
    for (Bytes& plane : planes) plane.assign(bufferBytes, 0);
    draw.planeC = planes[0].data(), draw.planeM = planes[1].data();
    draw.planeY = planes[2].data(), draw.planeK = planes[3].data();
    Bytes pixels = input.bytes(std::size_t{draw.srcWidth} * 4);
    draw.srcPixels = pixels.empty() ? nullptr : pixels.data();
    draw.devRow = 0;
    for (std::uint32_t row = 0; row < std::min(sourceRows, 256u); ++row) {
        QvrColDizPrc(&dither, &draw);
        require(draw.devRow <= bufferRows);
    }
    return 0;
}
