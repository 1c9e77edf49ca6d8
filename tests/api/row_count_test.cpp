// Row counts on geometry whose 32-bit products wrap: the rows a call writes
// into the caller's buffer must agree with what the caller was told fits,
// and never run to 2^32 - 1 because a product wrapped between two rows.
// Every buffer here is exactly as large as the header says, so that the
// sanitizers see a row written past it.
#include "huecl32.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

struct LaterScreens {
    explicit LaterScreens(std::uint32_t dizMode, std::uint32_t screenKind) {
        info.dizMode = dizMode;
        info.screenKind = screenKind;
        for (auto& matrix : matrices) matrix.resize(HUECL_MAX_THRESHOLD_MATRIX_BYTES);
        info.matrixC = matrices[0].data(), info.matrixM = matrices[1].data();
        info.matrixY = matrices[2].data(), info.matrixK = matrices[3].data();
        QvrColDizInfSet(&info);
    }
    QvrDizInf info{};
    std::array<std::vector<std::uint8_t>, 4> matrices;
};

// Points every plane of draw at its own buffer of bytes bytes.
struct Planes {
    explicit Planes(size_t bytes) {
        for (auto& plane : planes) plane.assign(bytes, 0xA5);
    }
    void attach(QvrDrwInf& draw) {
        draw.planeC = planes[0].data(), draw.planeM = planes[1].data();
        draw.planeY = planes[2].data(), draw.planeK = planes[3].data();
    }
    std::array<std::vector<std::uint8_t>, 4> planes;
};

// Found by fuzzing: 72 * srcResY wrapped to a product that let the set-up
// promise 3 rows, and the third row's products wrapped between srcY and
// srcY + 1, so that it counted 4294967295 device rows into a 144-byte
// buffer. The set-up now promises the 319 source rows that fit, and they
// fill the 72 device rows exactly.
TEST(RowCountsAgreeWithTheSetUp, LaterGenerationFillsExactlyThePromisedBuffer) {
    const LaterScreens screens(HUECL_DITHER_1BIT, HUECL_SCREEN_KIND_3);
    QvrDrwInf draw{};
    draw.srcWidth = 301, draw.devX = 1327, draw.devY = 1672;
    draw.devResX = 20, draw.srcResX = 426, draw.devResY = 787886225u, draw.srcResY = 3497459372u;
    constexpr std::uint32_t bufferBytes = 144;
    const std::uint32_t sourceRows = QvrColDrwInfSet(&screens.info, &draw, bufferBytes);
    ASSERT_EQ(draw.lineBytes, 2u);
    ASSERT_EQ(sourceRows, 319u);

    Planes planes(bufferBytes);
    planes.attach(draw);
    std::vector<std::uint8_t> pixels(size_t{draw.srcWidth} * 4, 200);
    draw.srcPixels = pixels.data();
    for (std::uint32_t row = 0; row < sourceRows; ++row) {
        const std::uint32_t before = draw.devRow;
        QvrColDizPrc(&screens.info, &draw);
        ASSERT_LE(draw.devRow - before, 1u) << "source row " << row;
        ASSERT_LE(draw.devRow, bufferBytes / draw.lineBytes) << "source row " << row;
    }
    EXPECT_EQ(draw.devRow, 72u);
}

// In range the count is the 32-bit one: twice the rows at twice the
// resolution, whatever the buffer.
TEST(RowCountsAgreeWithTheSetUp, InRangeCountsStayAsTheyWere) {
    const LaterScreens screens(HUECL_DITHER_2BIT, HUECL_SCREEN_KIND_1);
    QvrDrwInf draw{};
    draw.srcWidth = 100, draw.devResX = draw.devResY = 600, draw.srcResX = draw.srcResY = 300;
    EXPECT_EQ(QvrColDrwInfSet(&screens.info, &draw, 50 * 1000), 500u);
    EXPECT_EQ(draw.lineBytes, 50u);
    // The largest count the 64-bit product can give is clamped.
    draw.devResY = 1, draw.srcResY = 0xFFFFFFFFu;
    EXPECT_EQ(QvrColDrwInfSet(&screens.info, &draw, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

QvDizInf earlierScreens(std::array<std::vector<std::uint8_t>, 4>& patterns) {
    QvDizInf info{};
    info.screenMode = HUECL_SCREEN_MODE_1;
    patterns = {std::vector<std::uint8_t>(17 * 17), std::vector<std::uint8_t>(17 * 17),
                std::vector<std::uint8_t>(16 * 16), std::vector<std::uint8_t>(16 * 16)};
    info.ptnC = patterns[0].data(), info.ptnM = patterns[1].data();
    info.ptnY = patterns[2].data(), info.ptnK = patterns[3].data();
    QvDizPtnMak(&info);
    return info;
}

// Found by fuzzing: equal vertical resolutions near 2^31 with the
// horizontal ones scaled: (srcY + 1) * devResY wrapped below srcY *
// devResY, and the call worked through about 2^32 empty rows.
TEST(RowCountsAgreeWithTheSetUp, EarlierDiffusionWritesOneRowPerStep) {
    std::array<std::vector<std::uint8_t>, 4> patterns;
    const QvDizInf screens = earlierScreens(patterns);
    QvrDrwInf draw{};
    draw.srcWidth = 4, draw.devResX = 300, draw.srcResX = 0;
    draw.devResY = draw.srcResY = 1577058303u;
    draw.srcY = 2516, draw.lineBytes = 1;
    Planes planes(draw.lineBytes);
    planes.attach(draw);
    std::vector<std::uint8_t> pixels(size_t{draw.srcWidth} * 4, 128);
    draw.srcPixels = pixels.data();

    // Cells for devX + lineBytes * 8 + 1 columns, and the guard.
    const std::uint32_t cells = draw.devX + draw.lineBytes * 8 + 1;
    std::array<std::vector<std::int16_t>, 2> rows{std::vector<std::int16_t>((cells + 1) * 4),
                                                  std::vector<std::int16_t>((cells + 1) * 4)};
    QvErrInf errors{};
    errors.cmykCells0 = cells;
    errors.cmykRowA0 = rows[0].data(), errors.cmykRowB0 = rows[1].data();
    QvColGosPrc(&screens, &draw, &errors);
    EXPECT_EQ(draw.devRow, 1u);
    EXPECT_EQ(draw.devY, 1u);
    EXPECT_EQ(draw.srcY, 2517u);
    EXPECT_EQ(planes.planes[3][0], 0) << "no source resolution: the row is cleared and gets no dots";

    draw.devRow = 0, draw.devY = 0;
    QvColDizPrc(&screens, &draw);
    EXPECT_EQ(draw.devRow, 1u);
}

// Where srcY * devResY fits 32 bits and (srcY + 1) * devResY does not, the
// 32-bit difference went "negative"; it is the one row that step reaches.
// Where both products wrap, the count stays the 32-bit library's
// (EarlierDither.RowsPerCallAndCounters pins one such row).
TEST(RowCountsAgreeWithTheSetUp, EarlierDitherCountsTheRowsOneStepReaches) {
    std::array<std::vector<std::uint8_t>, 4> patterns;
    const QvDizInf screens = earlierScreens(patterns);
    QvrDrwInf draw{};
    draw.srcWidth = 8, draw.devResX = draw.srcResX = 300;
    draw.devResY = 4, draw.srcResY = 3;
    draw.srcY = 0x3FFFFFFFu;  // 4 * srcY = 2^32 - 4; the next product is 2^32
    draw.lineBytes = 1;
    Planes planes(2 * draw.lineBytes);  // ceil(4 / 3) rows
    planes.attach(draw);
    std::vector<std::uint8_t> pixels(size_t{draw.srcWidth} * 4, 255);
    draw.srcPixels = pixels.data();
    QvColDizPrc(&screens, &draw);
    EXPECT_EQ(draw.devRow, 1u);
    EXPECT_EQ(planes.planes[3][0], 0xFF);
    EXPECT_EQ(planes.planes[3][1], 0xA5) << "a second row was written";
}

}  // namespace
