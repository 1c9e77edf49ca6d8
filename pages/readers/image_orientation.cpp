// Turning and mirroring a stored image so that it reads upright: streamed
// for a mirror, held whole (within the memory limit) for the other turns.
#include "pages/readers/image_orientation.h"

#include "pages/page_error.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace huecl::pages {
namespace {

// Where the pixel shown at (x, y) of the upright image is stored: each of
// the eight orientations names which side of the picture the stored first
// row and first column are.
struct StoredPosition {
    std::uint32_t column, row;
};

StoredPosition storedPosition(std::uint16_t orientation, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                              std::uint32_t height) {
    // width and height are the stored image's.
    switch (orientation) {
        case 2: return {width - 1 - x, y};
        case 3: return {width - 1 - x, height - 1 - y};
        case 4: return {x, height - 1 - y};
        case 5: return {y, x};
        case 6: return {y, height - 1 - x};
        case 7: return {width - 1 - y, height - 1 - x};
        case 8: return {width - 1 - y, x};
        default: return {x, y};
    }
}

bool swapsSides(std::uint16_t orientation) { return orientation >= 5 && orientation <= 8; }

// Orientation 2: each row reversed as it passes.
class MirroredRows final : public ImageSource {
public:
    explicit MirroredRows(std::unique_ptr<ImageSource> stored) : stored_(std::move(stored)) {}
    std::uint32_t width() const override { return stored_->width(); }
    std::uint32_t height() const override { return stored_->height(); }
    std::string description() const override { return stored_->description(); }
    SourcePixels pixels() const override { return stored_->pixels(); }
    void readRows(std::span<std::uint8_t> rows) override {
        stored_->readRows(rows);
        const size_t pixelBytes = static_cast<std::uint32_t>(pixels());
        const size_t rowBytes = size_t{width()} * pixelBytes;
        for (size_t start = 0; start + rowBytes <= rows.size(); start += rowBytes)
            for (size_t left = 0, right = width() - 1; left < right; ++left, --right)
                std::swap_ranges(&rows[start + left * pixelBytes], &rows[start + (left + 1) * pixelBytes],
                                 &rows[start + right * pixelBytes]);
    }

private:
    std::unique_ptr<ImageSource> stored_;
};

// Every other turn: the stored image is read whole on the first call and
// served upright from then on.
class TurnedImage final : public ImageSource {
public:
    TurnedImage(std::unique_ptr<ImageSource> stored, std::uint16_t orientation)
        : stored_(std::move(stored)), orientation_(orientation) {}
    std::uint32_t width() const override { return swapsSides(orientation_) ? stored_->height() : stored_->width(); }
    std::uint32_t height() const override { return swapsSides(orientation_) ? stored_->width() : stored_->height(); }
    std::string description() const override { return stored_->description(); }
    SourcePixels pixels() const override { return stored_->pixels(); }

    void readRows(std::span<std::uint8_t> rows) override {
        const std::uint32_t pixelBytes = static_cast<std::uint32_t>(pixels());
        const std::uint32_t storedWidth = stored_->width(), storedHeight = stored_->height();
        if (whole_.empty() && storedWidth != 0 && storedHeight != 0) {
            whole_.resize(size_t{storedWidth} * storedHeight * pixelBytes);
            stored_->readRows(whole_);
        }
        const size_t rowBytes = size_t{width()} * pixelBytes;
        for (size_t start = 0; start + rowBytes <= rows.size(); start += rowBytes, ++nextRow_) {
            for (std::uint32_t x = 0; x < width(); ++x) {
                const StoredPosition at = storedPosition(orientation_, x, nextRow_, storedWidth, storedHeight);
                std::memcpy(&rows[start + size_t{x} * pixelBytes],
                            &whole_[(size_t{at.row} * storedWidth + at.column) * pixelBytes], pixelBytes);
            }
        }
    }

private:
    std::unique_ptr<ImageSource> stored_;
    std::uint16_t orientation_;
    std::vector<std::uint8_t> whole_;
    std::uint32_t nextRow_ = 0;
};

}  // namespace

std::unique_ptr<ImageSource> orientImage(std::unique_ptr<ImageSource> stored, std::uint16_t orientation,
                                         const ImageLimits& limits) {
    if (orientation < 2 || orientation > 8) return stored;
    if (orientation == 2) return std::make_unique<MirroredRows>(std::move(stored));
    const std::uint64_t bytes =
        std::uint64_t{stored->width()} * stored->height() * static_cast<std::uint32_t>(stored->pixels());
    if (bytes > limits.memoryBytes)
        throw PageError(stored->description() + ": turning the image upright holds it whole, " +
                        std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB, more than the limit of " +
                        std::to_string(limits.memoryBytes >> 20) + " MiB (--max-memory raises it)");
    return std::make_unique<TurnedImage>(std::move(stored), orientation);
}

}  // namespace huecl::pages
