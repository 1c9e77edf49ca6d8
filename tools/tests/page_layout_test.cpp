#include "cli_options.h"
#include "pages/page_layout.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>

#include <numeric>

namespace huecl::tool {
namespace {

using namespace huecl::pages;

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const PageError& error) {
        return error.what();
    }
    return "no error";
}

TEST(PaperSizes, NamedAndMeasuredSizesInPixels) {
    struct Case {
        const char* text;
        std::uint32_t dpi;
        std::uint64_t width, height;
    };
    // Nearest pixel of width / 25.4 * dpi, worked out by hand.
    const Case cases[] = {
        {"A4", 300, 2480, 3508},
        {"A4", 600, 4961, 7016},
        {"A4", 1200, 9921, 14031},
        {"A3", 300, 3508, 4961},
        {"A3", 600, 7016, 9921},
        {"A3", 1200, 14031, 19843},
        {"A5", 300, 1748, 2480},
        {"A5", 600, 3496, 4961},
        {"A5", 1200, 6992, 9921},
        {"Letter", 300, 2550, 3300},
        {"Letter", 600, 5100, 6600},
        {"Letter", 1200, 10200, 13200},
        {"Legal", 300, 2550, 4200},
        {"Legal", 600, 5100, 8400},
        {"Legal", 1200, 10200, 16800},
        {"a4", 254, 2100, 2970},
        {"LETTER", 100, 850, 1100},
        {"100x150mm", 300, 1181, 1772},
        {"4x6in", 300, 1200, 1800},
        {"8.5X11IN", 600, 5100, 6600},
        {"210.5x297.25mm", 600, 4972, 7022},
        {"0.005x0.015in", 100, 1, 2},  // half a pixel rounds up
        {"2000x2000mm", 1200, 94488, 94488},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " at " + std::to_string(c.dpi));
        const PaperSize paper = parsePaperSize(c.text);
        EXPECT_EQ(pixelsOf(paper.width, c.dpi), c.width);
        EXPECT_EQ(pixelsOf(paper.height, c.dpi), c.height);
    }
    EXPECT_EQ(parsePaperSize("letter").name, "Letter");
    EXPECT_EQ(parsePaperSize("10x10mm").name, "");
    EXPECT_EQ(pixelsOf(lengthUnitsPerInch / 2 - 1, 1), 0u);
    EXPECT_EQ(pixelsOf(lengthUnitsPerInch / 2, 1), 1u);
}

TEST(PaperSizes, RefusesZeroHugeAndMalformedSizes) {
    const std::pair<const char*, const char*> cases[] = {
        {"0x297mm", "above zero"},
        {"210x0.000mm", "above zero"},
        {"2000.001x10mm", "up to 2000.0 mm"},
        {"10x80in", "up to 2000.0 mm"},
        {"99999999999999x1mm", "must be A4"},
        {"A6", "must be A4"},
        {"210x297", "must be A4"},
        {"210x297cm", "must be A4"},
        {"-210x297mm", "must be A4"},
        {"210.0001x297mm", "must be A4"},
        {"x297mm", "must be A4"},
        {"210xmm", "must be A4"},
        {"1e3x5mm", "must be A4"},
        {"mm", "must be A4"},
        {"", "must be A4"},
        {"10x10x10mm", "must be A4"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        EXPECT_NE(errorOf([&] { parsePaperSize(text); }).find(message), std::string::npos)
            << errorOf([&] { parsePaperSize(text); });
    }
}

TEST(PaperSizes, MarginsOneForAllOrFourSides) {
    const Margins all = parseMargins("5");
    EXPECT_EQ(all.top, 5 * lengthUnitsPerMillimetre);
    EXPECT_EQ(all.left, all.top);
    EXPECT_EQ(all.right, all.top);
    EXPECT_EQ(all.bottom, all.top);
    const Margins sides = parseMargins("1,2,3,4.5");
    EXPECT_EQ(sides.top, 10000u);
    EXPECT_EQ(sides.right, 20000u);
    EXPECT_EQ(sides.bottom, 30000u);
    EXPECT_EQ(sides.left, 45000u);
    for (const char* bad : {"", "1,2", "1,2,3", "1,2,3,4,5", "-1", "a", "2001", "1,,2,3", "1,2,3,4,"}) {
        SCOPED_TRACE(bad);
        EXPECT_NE(errorOf([&] { parseMargins(bad); }).find("--margins needs one width or four"), std::string::npos);
    }
}

struct LayoutCase {
    const char* name;
    const char* paper;
    const char* margins;  // nullptr: none
    ImageScaling scaling;
    bool centred;
    Resolution source;
    std::uint32_t imageWidth, imageHeight;
    // page width, height; area x, y, width, height; placed x, y, width, height; visible x, y, width, height
    std::array<std::int64_t, 14> expected;
};

// At 254 dpi a millimetre is ten pixels: A4 is 2100 x 2970 and margins of
// 10, 20, 30 and 40 mm are 100, 200, 300 and 400 pixels.
constexpr Resolution dpi254{254, 254}, dpi300{300, 300};
using S = ImageScaling;
// clang-format off
const LayoutCase layoutCases[] = {
    {"natural at the corner", "A4", nullptr, S::natural, false, dpi300, 1000, 500,
     {2480, 3508, 0, 0, 2480, 3508, 0, 0, 1000, 500, 0, 0, 1000, 500}},
    {"natural centred", "A4", nullptr, S::natural, true, dpi300, 1000, 500,
     {2480, 3508, 0, 0, 2480, 3508, 740, 1504, 1000, 500, 740, 1504, 1000, 500}},
    {"natural, larger than the page", "A4", nullptr, S::natural, false, dpi300, 3000, 4000,
     {2480, 3508, 0, 0, 2480, 3508, 0, 0, 3000, 4000, 0, 0, 2480, 3508}},
    {"natural, larger, centred", "A4", nullptr, S::natural, true, dpi300, 3000, 4000,
     {2480, 3508, 0, 0, 2480, 3508, -260, -246, 3000, 4000, 0, 0, 2480, 3508}},
    {"natural inside uneven margins", "A4", "10,20,30,40", S::natural, false, dpi254, 100, 50,
     {2100, 2970, 400, 100, 1500, 2570, 400, 100, 100, 50, 400, 100, 100, 50}},
    {"natural, cut at the right and bottom margins", "A4", "10,20,30,40", S::natural, false, dpi254, 1600, 2600,
     {2100, 2970, 400, 100, 1500, 2570, 400, 100, 1600, 2600, 400, 100, 1500, 2570}},
    {"fit a wide image", "A4", "10,20,30,40", S::fit, false, dpi254, 3000, 1000,
     {2100, 2970, 400, 100, 1500, 2570, 400, 100, 1500, 500, 400, 100, 1500, 500}},
    {"fit a wide image, centred", "A4", "10,20,30,40", S::fit, true, dpi254, 3000, 1000,
     {2100, 2970, 400, 100, 1500, 2570, 400, 1135, 1500, 500, 400, 1135, 1500, 500}},
    {"fit a tall image, centred", "A4", "10,20,30,40", S::fit, true, dpi254, 1000, 5140,
     {2100, 2970, 400, 100, 1500, 2570, 900, 100, 500, 2570, 900, 100, 500, 2570}},
    {"fit a small image (enlarged)", "A4", "10", S::fit, false, dpi254, 1, 1,
     {2100, 2970, 100, 100, 1900, 2770, 100, 100, 1900, 1900, 100, 100, 1900, 1900}},
    {"fill with a wide image", "A4", "10,20,30,40", S::fill, false, dpi254, 3000, 1000,
     {2100, 2970, 400, 100, 1500, 2570, -2705, 100, 7710, 2570, 400, 100, 1500, 2570}},
    {"fill with a tall image", "A4", "10,20,30,40", S::fill, false, dpi254, 1000, 5000,
     {2100, 2970, 400, 100, 1500, 2570, 400, -2365, 1500, 7500, 400, 100, 1500, 2570}},
    {"fill rounds the long side half up", "60x40mm", "5", S::fill, false, Resolution{100, 100}, 50, 20,
     {236, 157, 20, 20, 196, 117, -28, 20, 293, 117, 20, 20, 196, 117}},
    {"fit rounds the short side to nearest", "60x40mm", "5", S::fit, true, Resolution{100, 100}, 50, 20,
     {236, 157, 20, 20, 196, 117, 20, 39, 196, 78, 20, 39, 196, 78}},
    {"uneven source resolution", "A4", nullptr, S::fit, false, Resolution{254, 127}, 2100, 1485,
     {2100, 1485, 0, 0, 2100, 1485, 0, 0, 2100, 1485, 0, 0, 2100, 1485}},
    {"the image's own shape fills either way", "4x6in", nullptr, S::fill, false, Resolution{100, 100}, 800, 1200,
     {400, 600, 0, 0, 400, 600, 0, 0, 400, 600, 0, 0, 400, 600}},
};
// clang-format on

TEST(PageLayouts, PlaceTheImageInsideTheMargins) {
    for (const LayoutCase& c : layoutCases) {
        SCOPED_TRACE(c.name);
        LayoutRequest request{parsePaperSize(c.paper), c.margins ? parseMargins(c.margins) : Margins{}, c.scaling,
                              c.centred};
        const PageLayout l = layOutPage(request, c.source, c.imageWidth, c.imageHeight);
        const std::array<std::int64_t, 14> got{
            l.pageWidth, l.pageHeight,  l.areaX,        l.areaY,    l.areaWidth, l.areaHeight,   l.placedX,
            l.placedY,   l.placedWidth, l.placedHeight, l.visibleX, l.visibleY,  l.visibleWidth, l.visibleHeight};
        EXPECT_EQ(got, c.expected);
    }
}

TEST(PageLayouts, RefusesPagesWithNothingToPrint) {
    auto layOut = [](const char* paper, const char* margins, ImageScaling scaling, Resolution source,
                     std::uint32_t width, std::uint32_t height) {
        return errorOf([&] {
            layOutPage({parsePaperSize(paper), margins ? parseMargins(margins) : Margins{}, scaling, false}, source,
                       width, height);
        });
    };
    EXPECT_EQ(layOut("A4", "0,105,0,105", ImageScaling::fit, dpi254, 10, 10),
              "--margins leave nothing to print on the page A4 (210.0 x 297.0 mm)");
    EXPECT_EQ(layOut("A4", "148.5,0,148.5,0", ImageScaling::fit, dpi254, 10, 10),
              "--margins leave nothing to print on the page A4 (210.0 x 297.0 mm)");
    EXPECT_EQ(layOut("A4", "0,104.9,0,104.9", ImageScaling::fit, dpi254, 10, 10), "no error");
    EXPECT_EQ(layOut("1x1mm", nullptr, ImageScaling::natural, Resolution{10, 10}, 1, 1),
              "the page 1.0 x 1.0 mm is smaller than a pixel at 10x10 dpi");
    EXPECT_EQ(layOut("A4", nullptr, ImageScaling::fit, dpi254, 0, 10), "the image has no pixels to place on the page");
    EXPECT_EQ(layOut("A4", nullptr, ImageScaling::fill, dpi254, 1, 1000000),
              "the image (1 x 1000000 pixels) is too thin to fill the page");
    EXPECT_EQ(layOut("A4", nullptr, ImageScaling::fill, dpi254, 1, 100000), "no error");
}

TEST(PageLayouts, TapsAddUpAndStayInsideTheImage) {
    // Exact weights of a few small cases.
    const AxisTaps shrink = axisTaps(3, 2, 0, 2);
    EXPECT_EQ(shrink.total, 3u);
    EXPECT_EQ(shrink.weights, (std::vector<std::uint64_t>{2, 1, 1, 2}));
    EXPECT_EQ(shrink.first, (std::vector<std::uint32_t>{0, 1}));
    const AxisTaps enlarge = axisTaps(2, 4, 0, 4);
    EXPECT_EQ(enlarge.total, 8u);
    EXPECT_EQ(enlarge.weights, (std::vector<std::uint64_t>{8, 6, 2, 2, 6, 8}));
    EXPECT_EQ(enlarge.first, (std::vector<std::uint32_t>{0, 0, 0, 1}));
    // Every placed pixel's weights add up to the total, for many sizes and
    // parts of the axis.
    for (std::uint32_t image : {1u, 2u, 3u, 7u, 100u, 1001u})
        for (std::uint32_t placed : {1u, 2u, 5u, 99u, 100u, 101u, 2999u}) {
            SCOPED_TRACE(std::to_string(image) + " to " + std::to_string(placed));
            const std::uint32_t begin = placed / 3, end = placed - placed / 4;
            const AxisTaps taps = axisTaps(image, placed, begin, end);
            ASSERT_EQ(taps.first.size(), end - begin);
            for (size_t i = 0; i < taps.first.size(); ++i) {
                ASSERT_LE(taps.first[i] + taps.count[i], image);
                const auto from = taps.weights.begin() + static_cast<ptrdiff_t>(taps.offset[i]);
                ASSERT_EQ(std::accumulate(from, from + taps.count[i], std::uint64_t{0}), taps.total);
                if (i > 0) {
                    ASSERT_GE(taps.first[i], taps.first[i - 1]);
                }
            }
        }
}

// An image in memory that counts the rows read and refuses reading past its end.
class MemoryImage final : public ImageSource {
public:
    MemoryImage(std::uint32_t width, std::uint32_t height,
                std::function<std::uint8_t(std::uint32_t, std::uint32_t, std::uint32_t)> value,
                SourcePixels pixels = SourcePixels::bgr)
        : width_(width), height_(height), value_(std::move(value)), pixels_(pixels) {}
    std::uint32_t width() const override { return width_; }
    std::uint32_t height() const override { return height_; }
    std::string description() const override { return "memory"; }
    SourcePixels pixels() const override { return pixels_; }
    void readRows(std::span<std::uint8_t> rows) override {
        const std::uint32_t bytes = static_cast<std::uint32_t>(pixels_);
        for (size_t offset = 0; offset < rows.size(); offset += size_t{width_} * bytes) {
            if (rowsRead_ >= height_) throw std::logic_error("read past the image");
            for (std::uint32_t x = 0; x < width_; ++x)
                for (std::uint32_t byte = 0; byte < bytes; ++byte)
                    rows[offset + x * bytes + byte] = value_(x, rowsRead_, byte);
            ++rowsRead_;
        }
    }

private:
    std::uint32_t width_, height_, rowsRead_ = 0;
    std::function<std::uint8_t(std::uint32_t, std::uint32_t, std::uint32_t)> value_;
    SourcePixels pixels_;
};

std::vector<std::uint8_t> readPage(ImageSource& page) {
    std::vector<std::uint8_t> pixels(size_t{page.width()} * page.height() * 3);
    // Two rows at a time and then the rest, as bands would.
    const size_t rowBytes = size_t{page.width()} * 3;
    page.readRows(std::span(pixels).first(2 * rowBytes));
    page.readRows(std::span(pixels).subspan(2 * rowBytes));
    return pixels;
}

TEST(PlacedImages, PaperAroundAndTheImageResampledInside) {
    // A 100 x 50 mm page at 254 dpi: 1000 x 500 pixels.
    struct Case {
        const char* name;
        ImageScaling scaling;
        bool centred;
        const char* margins;
        std::uint32_t imageWidth, imageHeight;
    };
    const Case cases[] = {
        {"copied", ImageScaling::natural, true, "3", 30, 20},
        {"shrunk", ImageScaling::fit, false, "3,4,5,6", 7000, 3000},
        {"enlarged", ImageScaling::fit, true, "3", 7, 5},
        {"cut", ImageScaling::fill, false, "2", 13, 90},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PageLayout layout =
            layOutPage({parsePaperSize("100x50mm"), parseMargins(c.margins), c.scaling, c.centred},
                       Resolution{254, 254}, c.imageWidth, c.imageHeight);
        // A flat colour stays that colour at any scale; paper stays white.
        auto page = placeOnPage(std::make_unique<MemoryImage>(c.imageWidth, c.imageHeight,
                                                              [](std::uint32_t, std::uint32_t, std::uint32_t byte) {
                                                                  return static_cast<std::uint8_t>(40 + 50 * byte);
                                                              }),
                                layout);
        ASSERT_EQ(page->width(), 1000u);
        ASSERT_EQ(page->height(), 500u);
        const std::vector<std::uint8_t> pixels = readPage(*page);
        for (std::uint32_t y = 0; y < 500; ++y)
            for (std::uint32_t x = 0; x < 1000; ++x) {
                const bool inside = x >= layout.visibleX && x < layout.visibleX + layout.visibleWidth &&
                                    y >= layout.visibleY && y < layout.visibleY + layout.visibleHeight;
                for (std::uint32_t byte = 0; byte < 3; ++byte)
                    ASSERT_EQ(pixels[(size_t{y} * 1000 + x) * 3 + byte], inside ? 40 + 50 * byte : 255)
                        << x << "," << y;
            }
    }
}

TEST(PlacedImages, CmykImagesLieOnPaperWithoutInk) {
    // 3 x 2 pixels at 1 dpi; a 1 x 1 CMYK image enlarged to 2 x 2 on the left.
    const PageLayout layout =
        layOutPage({parsePaperSize("3x2in"), {}, ImageScaling::fit, false}, Resolution{1, 1}, 1, 1);
    auto page = placeOnPage(
        std::make_unique<MemoryImage>(
            1, 1, [](std::uint32_t, std::uint32_t, std::uint32_t byte) { return static_cast<std::uint8_t>(10 + byte); },
            SourcePixels::cmyk),
        layout);
    EXPECT_EQ(page->pixels(), SourcePixels::cmyk);
    std::vector<std::uint8_t> pixels(3 * 2 * 4);
    page->readRows(pixels);
    const std::vector<std::uint8_t> row{10, 11, 12, 13, 10, 11, 12, 13, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(pixels.begin(), pixels.begin() + 12), row);
    EXPECT_EQ(std::vector<std::uint8_t>(pixels.begin() + 12, pixels.end()), row);
}

TEST(PlacedImages, AveragesWhenShrinkingAndInterpolatesWhenEnlarging) {
    const LayoutRequest page{parsePaperSize("4x2in"), {}, ImageScaling::fit, false};
    // 4 x 2 pixels at 1 dpi. A checkerboard of 0 and 250 shrunk to half
    // averages every pixel to 125.
    const PageLayout halved = layOutPage(page, Resolution{1, 1}, 8, 4);
    auto checkers = placeOnPage(std::make_unique<MemoryImage>(8, 4,
                                                              [](std::uint32_t x, std::uint32_t y, std::uint32_t) {
                                                                  return static_cast<std::uint8_t>((x + y) % 2 * 250);
                                                              }),
                                halved);
    EXPECT_EQ(readPage(*checkers), std::vector<std::uint8_t>(4 * 2 * 3, 125));
    // Two columns 0 and 200 doubled: the outer pixels repeat the edge, the
    // inner ones lie a quarter and three quarters of the way.
    const PageLayout doubled = layOutPage(page, Resolution{1, 1}, 2, 1);
    auto ramp = placeOnPage(
        std::make_unique<MemoryImage>(
            2, 1, [](std::uint32_t x, std::uint32_t, std::uint32_t) { return static_cast<std::uint8_t>(x * 200); }),
        doubled);
    const std::vector<std::uint8_t> twoRows{0, 0, 0, 50, 50, 50, 150, 150, 150, 200, 200, 200,
                                            0, 0, 0, 50, 50, 50, 150, 150, 150, 200, 200, 200};
    EXPECT_EQ(readPage(*ramp), twoRows);
}

}  // namespace
}  // namespace huecl::tool
