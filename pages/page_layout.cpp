// Paper sizes and margins in exact length units, the image's place on the
// sheet, and the integer resampling of an image that changes size.
#include "pages/page_layout.h"

#include "pages/page_settings.h"

#include <optional>
#include "pages/page_error.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstring>
#include <deque>

namespace huecl::pages {
namespace {

struct NamedPaper {
    const char* name;
    std::uint64_t width, height;
};

constexpr std::uint64_t mm = lengthUnitsPerMillimetre;
constexpr std::uint64_t inch = lengthUnitsPerInch;
constexpr std::array<NamedPaper, 5> namedPapers{{
    {"A3", 297 * mm, 420 * mm},
    {"A4", 210 * mm, 297 * mm},
    {"A5", 148 * mm, 210 * mm},
    {"Letter", inch * 17 / 2, 11 * inch},
    {"Legal", inch * 17 / 2, 14 * inch},
}};

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A decimal number with up to three decimals, in thousandths; nothing for
// anything else (signs, exponents, empty text, more decimals).
std::optional<std::uint64_t> thousandthsOf(const std::string& text) {
    std::uint64_t value = 0;
    size_t digits = 0, decimals = 0;
    bool point = false;
    for (const char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (point && ++decimals > 3) return std::nullopt;
            if (++digits > 12) return std::nullopt;
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0) return std::nullopt;
    for (; decimals < 3; ++decimals) value *= 10;
    return value;
}

std::string millimetresText(std::uint64_t length) {
    const std::uint64_t tenths = (length + mm / 20) / (mm / 10);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::uint32_t checkedPixels(std::uint64_t length, std::uint32_t dpi) {
    const std::uint64_t pixels = pixelsOf(length, dpi);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(pixels, UINT32_MAX));
}

// The other side of an image scaled so that one side becomes scaledSide,
// proportions kept, rounded to the nearest pixel (halves up) and at least one.
std::uint64_t proportionalSide(std::uint32_t side, std::uint32_t otherSide, std::uint32_t scaledOtherSide) {
    const std::uint64_t scaled =
        (std::uint64_t{side} * scaledOtherSide * 2 + otherSide) / (std::uint64_t{otherSide} * 2);
    return std::max<std::uint64_t>(scaled, 1);
}

}  // namespace

std::uint64_t pixelsOf(std::uint64_t length, std::uint32_t dpi) {
    return (length * dpi + lengthUnitsPerInch / 2) / lengthUnitsPerInch;
}

PaperSize parsePaperSize(const std::string& text) {
    const std::string lower = lowerCase(text);
    for (const auto& paper : namedPapers)
        if (lower == lowerCase(paper.name)) return {paper.width, paper.height, paper.name};
    const std::string unit = lower.size() > 2 ? lower.substr(lower.size() - 2) : "";
    const size_t cross = lower.find('x');
    const auto width = thousandthsOf(lower.substr(0, cross));
    const auto height =
        cross == std::string::npos ? std::nullopt : thousandthsOf(lower.substr(cross + 1, lower.size() - cross - 3));
    if ((unit != "mm" && unit != "in" && unit != "pt") || !width || !height)
        throw PageError("--page must be A4, A3, A5, Letter, Legal, WxHmm, WxHin or WxHpt, not '" + text + "'");
    // Thousandths of a millimetre are ten units, of an inch 254; of a point
    // 254/72, to the nearest unit.
    const auto units = [&unit](std::uint64_t thousandths) {
        if (unit == "pt") return (thousandths * inch + 36000) / 72000;
        return thousandths * (unit == "mm" ? mm / 1000 : inch / 1000);
    };
    const PaperSize paper{units(*width), units(*height), ""};
    if (paper.width == 0 || paper.height == 0)
        throw PageError("--page needs a width and a height above zero, not '" + text + "'");
    if (paper.width > largestPageSide || paper.height > largestPageSide)
        throw PageError("--page allows sides of up to " + millimetresText(largestPageSide) + " mm, not '" + text + "'");
    return paper;
}

Margins parseMargins(const std::string& text) {
    std::array<std::uint64_t, 4> sides{};
    size_t count = 0, start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const auto value = count < 4 ? thousandthsOf(text.substr(start, comma - start)) : std::nullopt;
        if (!value || *value * (mm / 1000) > largestPageSide)
            throw PageError("--margins needs one width or four (TOP,RIGHT,BOTTOM,LEFT) in millimetres, up to " +
                            millimetresText(largestPageSide) + ", not '" + text + "'");
        sides[count++] = *value * (mm / 1000);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (count == 1) return {sides[0], sides[0], sides[0], sides[0]};
    if (count != 4)
        throw PageError("--margins needs one width or four (TOP,RIGHT,BOTTOM,LEFT) in millimetres, not '" + text + "'");
    return {sides[0], sides[1], sides[2], sides[3]};
}

PageLayout layOutPage(const LayoutRequest& request, const Resolution& source, std::uint32_t imageWidth,
                      std::uint32_t imageHeight) {
    const PaperSize& paper = request.paper;
    const std::string measured = millimetresText(paper.width) + " x " + millimetresText(paper.height) + " mm";
    const std::string paperText = paper.name.empty() ? measured : paper.name + " (" + measured + ")";
    PageLayout layout;
    layout.pageWidth = checkedPixels(paper.width, source.x);
    layout.pageHeight = checkedPixels(paper.height, source.y);
    if (layout.pageWidth == 0 || layout.pageHeight == 0)
        throw PageError("the page " + paperText + " is smaller than a pixel at " + std::to_string(source.x) + "x" +
                        std::to_string(source.y) + " dpi");
    if (imageWidth == 0 || imageHeight == 0) throw PageError("the image has no pixels to place on the page");
    const Margins& m = request.margins;
    const std::uint64_t left = pixelsOf(m.left, source.x), right = pixelsOf(m.right, source.x);
    const std::uint64_t top = pixelsOf(m.top, source.y), bottom = pixelsOf(m.bottom, source.y);
    if (left + right >= layout.pageWidth || top + bottom >= layout.pageHeight)
        throw PageError("--margins leave nothing to print on the page " + paperText);
    layout.areaX = static_cast<std::uint32_t>(left);
    layout.areaY = static_cast<std::uint32_t>(top);
    layout.areaWidth = static_cast<std::uint32_t>(layout.pageWidth - left - right);
    layout.areaHeight = static_cast<std::uint32_t>(layout.pageHeight - top - bottom);

    // Whether the image is wider than the area, in proportion.
    const bool widerThanArea =
        std::uint64_t{imageWidth} * layout.areaHeight >= std::uint64_t{imageHeight} * layout.areaWidth;
    bool matchWidth = false;
    switch (request.scaling) {
        case ImageScaling::natural:
            layout.placedWidth = imageWidth;
            layout.placedHeight = imageHeight;
            break;
        case ImageScaling::fit: matchWidth = widerThanArea; break;
        case ImageScaling::fill: matchWidth = !widerThanArea; break;
    }
    if (request.scaling != ImageScaling::natural) {
        const std::uint64_t otherSide = matchWidth ? proportionalSide(imageHeight, imageWidth, layout.areaWidth)
                                                   : proportionalSide(imageWidth, imageHeight, layout.areaHeight);
        // Only the visible part is ever resampled, but positions stay signed 32-bit.
        if (otherSide > INT32_MAX / 2)
            throw PageError("the image (" + std::to_string(imageWidth) + " x " + std::to_string(imageHeight) +
                            " pixels) is too thin to fill the page");
        layout.placedWidth = matchWidth ? layout.areaWidth : static_cast<std::uint32_t>(otherSide);
        layout.placedHeight = matchWidth ? static_cast<std::uint32_t>(otherSide) : layout.areaHeight;
    }
    // Centred, an odd pixel left over (or cut off) goes to the right and the
    // bottom. A filled image is always cut evenly on both sides.
    const bool centred = request.centred || request.scaling == ImageScaling::fill;
    auto place = [&](std::uint32_t areaStart, std::uint32_t areaSize, std::uint32_t placedSize) {
        const std::int64_t spare = std::int64_t{areaSize} - std::int64_t{placedSize};
        return std::int64_t{areaStart} + (centred ? spare / 2 : 0);
    };
    layout.placedX = place(layout.areaX, layout.areaWidth, layout.placedWidth);
    layout.placedY = place(layout.areaY, layout.areaHeight, layout.placedHeight);
    auto visible = [](std::int64_t placedStart, std::uint32_t placedSize, std::uint32_t areaStart,
                      std::uint32_t areaSize, std::uint32_t& start, std::uint32_t& size) {
        const std::int64_t begin = std::max<std::int64_t>(placedStart, areaStart);
        const std::int64_t end = std::min<std::int64_t>(placedStart + placedSize, std::int64_t{areaStart} + areaSize);
        start = static_cast<std::uint32_t>(begin);
        size = static_cast<std::uint32_t>(end - begin);  // the two always overlap
    };
    visible(layout.placedX, layout.placedWidth, layout.areaX, layout.areaWidth, layout.visibleX, layout.visibleWidth);
    visible(layout.placedY, layout.placedHeight, layout.areaY, layout.areaHeight, layout.visibleY,
            layout.visibleHeight);
    return layout;
}

PageLayout printableArea(const PageLayout& layout) {
    PageLayout area = layout;
    area.pageWidth = layout.areaWidth, area.pageHeight = layout.areaHeight;
    area.areaX = area.areaY = 0;
    area.placedX = layout.placedX - layout.areaX, area.placedY = layout.placedY - layout.areaY;
    area.visibleX = layout.visibleX - layout.areaX, area.visibleY = layout.visibleY - layout.areaY;
    return area;
}

AxisTaps axisTaps(std::uint32_t imageSize, std::uint32_t placedSize, std::uint32_t begin, std::uint32_t end) {
    AxisTaps taps;
    const std::uint64_t in = imageSize, out = placedSize;
    auto add = [&](std::uint32_t first, std::initializer_list<std::uint64_t> weights) {
        taps.first.push_back(first);
        taps.count.push_back(static_cast<std::uint32_t>(weights.size()));
        taps.offset.push_back(taps.weights.size());
        taps.weights.insert(taps.weights.end(), weights);
    };
    if (in == out) {
        for (std::uint32_t placed = begin; placed < end; ++placed) add(placed, {1});
    } else if (in > out) {
        // Placed pixel p covers [p * in, (p + 1) * in) and image pixel i
        // covers [i * out, (i + 1) * out), both in 1/(in * out) of the image,
        // so the covered lengths are whole numbers adding up to in.
        taps.total = in;
        for (std::uint32_t placed = begin; placed < end; ++placed) {
            const std::uint64_t from = placed * in, to = from + in;
            const auto first = static_cast<std::uint32_t>(from / out);
            const auto last = static_cast<std::uint32_t>((to - 1) / out);
            taps.first.push_back(first);
            taps.count.push_back(last - first + 1);
            taps.offset.push_back(taps.weights.size());
            for (std::uint64_t pixel = first; pixel <= last; ++pixel)
                taps.weights.push_back(std::min(to, (pixel + 1) * out) - std::max(from, pixel * out));
        }
    } else {
        // The centre of placed pixel p lies at (2p + 1) * in / (2 * out) - 1/2
        // image pixels, counted in 1/(2 * out): (2p + 1) * in - out. Beyond
        // the centres of the outermost pixels the edge pixel is repeated.
        taps.total = 2 * out;
        for (std::uint32_t placed = begin; placed < end; ++placed) {
            const std::int64_t centre =
                static_cast<std::int64_t>((2 * std::uint64_t{placed} + 1) * in) - static_cast<std::int64_t>(out);
            if (centre <= 0) {
                add(0, {2 * out});
                continue;
            }
            const auto left = static_cast<std::uint32_t>(static_cast<std::uint64_t>(centre) / (2 * out));
            const std::uint64_t toRight = static_cast<std::uint64_t>(centre) % (2 * out);
            if (left + 1 >= imageSize || toRight == 0)
                add(std::min(left, imageSize - 1), {2 * out});
            else
                add(left, {2 * out - toRight, toRight});
        }
    }
    return taps;
}

namespace {

class PlacedImage final : public ImageSource {
public:
    PlacedImage(std::unique_ptr<ImageSource> image, const PageLayout& layout)
        : image_(std::move(image)), layout_(layout), bytesPerPixel_(static_cast<std::uint32_t>(image_->pixels())),
          paper_(image_->pixels() == SourcePixels::bgr ? 255 : 0),
          columns_(axisTaps(image_->width(), layout.placedWidth, visibleStart(layout.visibleX, layout.placedX),
                            visibleStart(layout.visibleX, layout.placedX) + layout.visibleWidth)),
          rows_(axisTaps(image_->height(), layout.placedHeight, visibleStart(layout.visibleY, layout.placedY),
                         visibleStart(layout.visibleY, layout.placedY) + layout.visibleHeight)),
          imageRow_(size_t{image_->width()} * bytesPerPixel_), sums_(size_t{layout.visibleWidth} * bytesPerPixel_) {}

    std::uint32_t width() const override { return layout_.pageWidth; }
    std::uint32_t height() const override { return layout_.pageHeight; }
    std::string description() const override { return image_->description() + " on the page"; }
    SourcePixels pixels() const override { return image_->pixels(); }

    void readRows(std::span<std::uint8_t> rows) override {
        const size_t rowBytes = size_t{layout_.pageWidth} * bytesPerPixel_;
        for (size_t offset = 0; offset + rowBytes <= rows.size(); offset += rowBytes)
            makeRow(nextRow_++, rows.subspan(offset, rowBytes));
    }

private:
    static std::uint32_t visibleStart(std::uint32_t visible, std::int64_t placed) {
        return static_cast<std::uint32_t>(std::int64_t{visible} - placed);
    }

    void makeRow(std::uint32_t pageRow, std::span<std::uint8_t> row) {
        std::memset(row.data(), paper_, row.size());
        if (pageRow < layout_.visibleY || pageRow >= layout_.visibleY + layout_.visibleHeight) return;
        const size_t index = pageRow - layout_.visibleY;
        const std::uint32_t first = rows_.first[index], count = rows_.count[index];
        std::uint8_t* out = row.data() + size_t{layout_.visibleX} * bytesPerPixel_;
        if (rows_.total == 1 && columns_.total == 1) {
            // The same size: the visible part of the image row as it is.
            while (imageRowsRead_ <= first) readImageRow();
            std::memcpy(out, imageRow_.data() + size_t{columns_.first.front()} * bytesPerPixel_, sums_.size());
            return;
        }
        keepImageRows(first, first + count);
        std::fill(sums_.begin(), sums_.end(), 0);
        for (std::uint32_t tap = 0; tap < count; ++tap) {
            const std::uint64_t weight = rows_.weights[rows_.offset[index] + tap];
            const std::vector<std::uint64_t>& filtered = kept_[first + tap - firstKept_];
            for (size_t i = 0; i < sums_.size(); ++i) sums_[i] += weight * filtered[i];
        }
        const std::uint64_t total = columns_.total * rows_.total;
        for (size_t i = 0; i < sums_.size(); ++i) out[i] = static_cast<std::uint8_t>((sums_[i] + total / 2) / total);
    }

    // Reads image rows up to end, keeping from first on, each resampled
    // across (not yet divided by the columns' total).
    void keepImageRows(std::uint32_t first, std::uint32_t end) {
        while (firstKept_ < first && !kept_.empty()) {
            spare_ = std::move(kept_.front());
            kept_.pop_front();
            ++firstKept_;
        }
        while (firstKept_ + kept_.size() < end) {
            readImageRow();
            if (firstKept_ + kept_.size() < first) {
                ++firstKept_;  // above the visible part: read past
                continue;
            }
            std::vector<std::uint64_t> filtered = std::move(spare_);
            filtered.assign(sums_.size(), 0);
            for (size_t column = 0; column < columns_.first.size(); ++column) {
                const std::uint8_t* pixel = imageRow_.data() + size_t{columns_.first[column]} * bytesPerPixel_;
                const std::uint64_t* weight = columns_.weights.data() + columns_.offset[column];
                std::uint64_t* sum = filtered.data() + column * bytesPerPixel_;
                for (std::uint32_t tap = 0; tap < columns_.count[column]; ++tap, pixel += bytesPerPixel_)
                    for (std::uint32_t byte = 0; byte < bytesPerPixel_; ++byte) sum[byte] += weight[tap] * pixel[byte];
            }
            kept_.push_back(std::move(filtered));
        }
    }

    void readImageRow() {
        image_->readRows(imageRow_);
        ++imageRowsRead_;
    }

    std::unique_ptr<ImageSource> image_;
    PageLayout layout_;
    std::uint32_t bytesPerPixel_;
    std::uint8_t paper_;
    AxisTaps columns_, rows_;
    std::vector<std::uint8_t> imageRow_;
    std::deque<std::vector<std::uint64_t>> kept_;  // image rows firstKept_ on
    std::uint32_t firstKept_ = 0;
    std::uint32_t imageRowsRead_ = 0;
    std::vector<std::uint64_t> sums_, spare_;
    std::uint32_t nextRow_ = 0;
};

}  // namespace

std::unique_ptr<ImageSource> placeOnPage(std::unique_ptr<ImageSource> image, const PageLayout& layout) {
    return std::make_unique<PlacedImage>(std::move(image), layout);
}

}  // namespace huecl::pages
