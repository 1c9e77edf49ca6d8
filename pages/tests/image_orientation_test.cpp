#include "pages/page_error.h"
#include "pages/readers/image_orientation.h"
#include "pages/tests/temporary_folder.h"
#include "pages/tests/test_images.h"

#include <gtest/gtest.h>

#include <libexif/exif-data.h>

#include <cstdlib>
#include <string>

namespace huecl::pages {
namespace {

using testing::TemporaryFolder;

// A stored image of single-letter pixels (one byte each, repeated over
// blue, green and red), read in any number of rows per call.
class LetterImage final : public ImageSource {
public:
    LetterImage(std::uint32_t width, std::vector<std::string> rows) : width_(width), rows_(std::move(rows)) {}
    std::uint32_t width() const override { return width_; }
    std::uint32_t height() const override { return static_cast<std::uint32_t>(rows_.size()); }
    std::string description() const override { return "letters"; }
    void readRows(std::span<std::uint8_t> out) override {
        for (size_t at = 0; at + 3 * width_ <= out.size(); at += 3 * width_, ++next_)
            for (std::uint32_t x = 0; x < width_; ++x)
                for (int c = 0; c < 3; ++c) out[at + 3 * x + c] = static_cast<std::uint8_t>(rows_[next_][x]);
    }

private:
    std::uint32_t width_;
    std::vector<std::string> rows_;
    size_t next_ = 0;
};

std::vector<std::string> upright(ImageSource& image, std::uint32_t rowsPerRead) {
    std::vector<std::string> rows;
    std::vector<std::uint8_t> buffer(size_t{3} * image.width() * rowsPerRead);
    for (std::uint32_t y = 0; y < image.height(); y += rowsPerRead) {
        const std::uint32_t count = std::min(rowsPerRead, image.height() - y);
        image.readRows(std::span(buffer).first(size_t{3} * image.width() * count));
        for (std::uint32_t row = 0; row < count; ++row) {
            std::string text;
            for (std::uint32_t x = 0; x < image.width(); ++x)
                text += static_cast<char>(buffer[(size_t{row} * image.width() + x) * 3]);
            rows.push_back(text);
        }
    }
    return rows;
}

// What each orientation shows of the stored rows "abc" over "def": the
// side of the picture the stored first row and first column are.
const std::vector<std::string> expectedUpright[9] = {
    {},
    {"abc", "def"},      // 1 top, left: as stored
    {"cba", "fed"},      // 2 top, right: mirrored across
    {"fed", "cba"},      // 3 bottom, right: half a turn
    {"def", "abc"},      // 4 bottom, left: mirrored top to bottom
    {"ad", "be", "cf"},  // 5 left, top: transposed
    {"da", "eb", "fc"},  // 6 right, top: stored a quarter turn anticlockwise
    {"fc", "eb", "da"},  // 7 right, bottom: transverse
    {"cf", "be", "ad"},  // 8 left, bottom: stored a quarter turn clockwise
};

TEST(ImageOrientation, EachOfTheEightShowsThePictureUpright) {
    for (std::uint16_t orientation = 1; orientation <= 8; ++orientation) {
        for (const std::uint32_t rowsPerRead : {1u, 2u, 3u}) {
            SCOPED_TRACE("orientation " + std::to_string(orientation) + ", rows per read " +
                         std::to_string(rowsPerRead));
            auto image =
                orientImage(std::make_unique<LetterImage>(3, std::vector<std::string>{"abc", "def"}), orientation, {});
            EXPECT_EQ(upright(*image, rowsPerRead), expectedUpright[orientation]);
        }
    }
    // Values outside 1 to 8 leave the image as stored.
    for (const std::uint16_t odd : {0, 9, 65535}) {
        auto image = orientImage(std::make_unique<LetterImage>(3, std::vector<std::string>{"abc", "def"}), odd, {});
        EXPECT_EQ(upright(*image, 2), expectedUpright[1]);
    }
}

TEST(ImageOrientation, OnlyTurnsThatHoldTheImageWholeMeetTheMemoryLimit) {
    const ImageLimits tiny{std::uint64_t{1} << 28, 17};  // less than the 18 bytes of the image
    auto mirrored = orientImage(std::make_unique<LetterImage>(3, std::vector<std::string>{"abc", "def"}), 2, tiny);
    EXPECT_EQ(upright(*mirrored, 1), expectedUpright[2]) << "a mirror streams row by row";
    for (const std::uint16_t whole : {3, 4, 5, 6, 7, 8})
        EXPECT_THROW(orientImage(std::make_unique<LetterImage>(3, std::vector<std::string>{"abc", "def"}), whole, tiny),
                     PageError)
            << whole;
}

// Six blocks of 8 x 8 pixels, in three columns and two rows, each a colour
// of its own, far enough apart to survive JPEG.
constexpr std::uint32_t block = 8;
constexpr std::uint8_t blockColours[6][3] = {{255, 0, 0},   {0, 255, 0},     {0, 0, 255},
                                             {255, 255, 0}, {255, 255, 255}, {0, 0, 0}};

std::vector<std::uint8_t> blockSamples() {
    std::vector<std::uint8_t> rgb;
    for (std::uint32_t y = 0; y < 2 * block; ++y)
        for (std::uint32_t x = 0; x < 3 * block; ++x)
            for (int c = 0; c < 3; ++c) rgb.push_back(blockColours[(y / block) * 3 + x / block][c]);
    return rgb;
}

// The block letter ('a' to 'f') nearest in colour to the centre of each
// block of the image as read.
std::vector<std::string> blockLetters(ImageSource& image) {
    std::vector<std::uint8_t> bgr(size_t{3} * image.width() * image.height());
    image.readRows(bgr);
    std::vector<std::string> rows;
    for (std::uint32_t by = 0; by < image.height() / block; ++by) {
        std::string row;
        for (std::uint32_t bx = 0; bx < image.width() / block; ++bx) {
            const size_t at = (size_t{by * block + block / 2} * image.width() + bx * block + block / 2) * 3;
            int best = 0, bestDistance = 1 << 30;
            for (int letter = 0; letter < 6; ++letter) {
                int distance = 0;
                for (int c = 0; c < 3; ++c) distance += std::abs(bgr[at + 2 - c] - blockColours[letter][c]);
                if (distance < bestDistance) best = letter, bestDistance = distance;
            }
            row += static_cast<char>('a' + best);
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::uint8_t> exifWithOrientation(std::uint16_t orientation) {
    ExifData* exif = exif_data_new();
    exif_data_set_byte_order(exif, EXIF_BYTE_ORDER_MOTOROLA);
    ExifEntry* entry = exif_entry_new();
    exif_content_add_entry(exif->ifd[EXIF_IFD_0], entry);
    exif_entry_initialize(entry, EXIF_TAG_ORIENTATION);
    exif_set_short(entry->data, EXIF_BYTE_ORDER_MOTOROLA, orientation);
    unsigned char* bytes = nullptr;
    unsigned int size = 0;
    exif_data_save_data(exif, &bytes, &size);
    std::vector<std::uint8_t> saved(bytes, bytes + size);
    std::free(bytes);
    exif_entry_unref(entry);
    exif_data_unref(exif);
    return saved;
}

TEST(ImageOrientation, JpegAndTiffFilesAreTurnedAsTheirTagsSay) {
    TemporaryFolder folder;
    const std::vector<std::uint8_t> rgb = blockSamples();
    std::vector<std::uint16_t> tiffSamples(rgb.begin(), rgb.end());
    for (std::uint16_t orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const auto jpegPath = folder / ("turned-" + std::to_string(orientation) + ".jpg");
        ASSERT_TRUE(testing::writeJpeg(jpegPath, 3 * block, 2 * block, rgb, {}, exifWithOrientation(orientation)));
        auto fromJpeg = openImage(jpegPath);
        EXPECT_EQ(blockLetters(*fromJpeg), expectedUpright[orientation]) << "JPEG";

        testing::TiffOptions tiff;
        tiff.orientation = orientation;
        const auto tiffPath = folder / ("turned-" + std::to_string(orientation) + ".tif");
        ASSERT_TRUE(testing::writeTiff(tiffPath, 3 * block, 2 * block, tiffSamples, tiff));
        auto fromTiff = openImage(tiffPath);
        EXPECT_EQ(blockLetters(*fromTiff), expectedUpright[orientation]) << "TIFF";
    }
}

}  // namespace
}  // namespace huecl::pages
