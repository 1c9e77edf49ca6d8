// Opening an image: the format sniffed from its first bytes, the size
// limits checked, and CMYK inks folded into black for a black-only page.
#include "pages/readers/image_source.h"

#include "pages/readers/jpeg_image.h"
#include "pages/readers/png_image.h"
#include "pages/readers/pnm_image.h"
#include "pages/readers/tiff_image.h"
#include "pages/page_error.h"

#include <png.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace huecl::pages {
namespace {

bool startsWith(const std::vector<std::uint8_t>& bytes, std::initializer_list<std::uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

class BlackFromInks final : public ImageSource {
public:
    explicit BlackFromInks(std::unique_ptr<ImageSource> source) : source_(std::move(source)) {}
    std::uint32_t width() const override { return source_->width(); }
    std::uint32_t height() const override { return source_->height(); }
    std::string description() const override { return source_->description(); }
    SourcePixels pixels() const override { return SourcePixels::cmyk; }

    void readRows(std::span<std::uint8_t> rows) override {
        source_->readRows(rows);
        for (size_t i = 0; i + 3 < rows.size(); i += 4) {
            // Cyan, magenta and yellow darken as their complementary lights
            // weigh in grey; black covers what they leave.
            const std::uint32_t inks = (30 * rows[i] + 59 * rows[i + 1] + 11 * rows[i + 2] + 50) / 100;
            const std::uint32_t black = rows[i + 3];
            rows[i + 3] = static_cast<std::uint8_t>(black + ((255 - black) * inks + 127) / 255);
            rows[i] = rows[i + 1] = rows[i + 2] = 0;
        }
    }

private:
    std::unique_ptr<ImageSource> source_;
};

}  // namespace

void checkImageSize(const std::string& name, std::uint32_t width, std::uint32_t height, const ImageLimits& limits) {
    const std::uint64_t pixels = std::uint64_t{width} * height;
    if (pixels > limits.pixels)
        throw PageError(name + ": image of " + std::to_string(width) + "x" + std::to_string(height) + " (" +
                        std::to_string(pixels) + " pixels) exceeds the limit of " + std::to_string(limits.pixels) +
                        " pixels (--max-pixels raises it)");
}

void checkReaderMemory(const std::string& name, std::uint64_t bytes, const std::string& what,
                       const ImageLimits& limits) {
    if (bytes > limits.memoryBytes) {
        const auto mebibytes = [](std::uint64_t count) { return std::to_string((count + (1u << 20) - 1) >> 20); };
        throw PageError(name + ": reading " + what + " takes " + mebibytes(bytes) + " MiB, more than the limit of " +
                        mebibytes(limits.memoryBytes) + " MiB (--max-memory raises it)");
    }
}

std::unique_ptr<ImageSource> openImage(const std::filesystem::path& path, const ImageLimits& limits) {
    InputStream input = openInput(path);
    const std::vector<std::uint8_t> signature = peekInput(input, 8);
    if (signature.size() == 8 && png_sig_cmp(signature.data(), 0, signature.size()) == 0)
        return openPng(std::move(input), limits);
    if (startsWith(signature, {0xFF, 0xD8, 0xFF})) return openJpeg(std::move(input), limits);
    // Classic TIFF (42) and BigTIFF (43), in either byte order.
    if (startsWith(signature, {'I', 'I', 42, 0}) || startsWith(signature, {'M', 'M', 0, 42}) ||
        startsWith(signature, {'I', 'I', 43, 0}) || startsWith(signature, {'M', 'M', 0, 43}))
        return openTiff(std::move(input), limits);
    if (signature.size() >= 2 && signature[0] == 'P' && (signature[1] == '5' || signature[1] == '6'))
        return openPnm(std::move(input), limits);
    throw PageError(input.name + ": not a PNG, JPEG, TIFF, PPM or PGM image");
}

std::unique_ptr<ImageSource> foldInksIntoBlack(std::unique_ptr<ImageSource> source) {
    return std::make_unique<BlackFromInks>(std::move(source));
}

}  // namespace huecl::pages
