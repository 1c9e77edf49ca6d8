// The PPM/PGM reader and the PBM/PGM plane writers.
#include "pages/readers/pnm_image.h"

#include "pages/page_error.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

namespace huecl::pages {
namespace {

// Reads the whitespace- and comment-separated header numbers of a PNM file.
class PnmHeaderReader {
public:
    PnmHeaderReader(std::FILE* file, std::string name) : file_(file), name_(std::move(name)) {}

    std::uint32_t readNumber(const char* what) {
        int c = skipSpaceAndComments();
        if (c < '0' || c > '9') throw PageError(name_ + ": corrupt PNM header (no " + what + ")");
        std::uint64_t value = 0;
        while (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
            if (value > 0xFFFFFF) throw PageError(name_ + ": corrupt PNM header (" + what + " too large)");
            c = std::fgetc(file_);
        }
        // Exactly one whitespace byte separates the header from the samples.
        if (c != EOF && !std::isspace(c)) throw PageError(name_ + ": corrupt PNM header (bad " + what + ")");
        lastSeparator_ = c;
        return static_cast<std::uint32_t>(value);
    }
    int lastSeparator() const { return lastSeparator_; }

private:
    int skipSpaceAndComments() {
        int c = std::fgetc(file_);
        for (;;) {
            if (c == '#') {
                while (c != '\n' && c != EOF) c = std::fgetc(file_);
            } else if (c != EOF && std::isspace(c)) {
                c = std::fgetc(file_);
            } else {
                return c;
            }
        }
    }

    std::FILE* file_;
    std::string name_;
    int lastSeparator_ = 0;
};

class PnmSource final : public ImageSource {
public:
    PnmSource(InputStream input, const ImageLimits& limits)
        : name_(std::move(input.name)), file_(std::move(input.file)) {
        char magic[2] = {};
        if (std::fread(magic, 1, 2, file_.get()) != 2 || magic[0] != 'P' || (magic[1] != '5' && magic[1] != '6'))
            throw PageError(name_ + ": not a binary PPM or PGM file");
        channels_ = magic[1] == '6' ? 3 : 1;
        PnmHeaderReader header(file_.get(), name_);
        width_ = header.readNumber("width");
        height_ = header.readNumber("height");
        const std::uint32_t maxValue = header.readNumber("maxval");
        if (header.lastSeparator() == EOF) throw PageError(name_ + ": truncated PNM file (no pixel data)");
        if (width_ == 0 || height_ == 0)
            throw PageError(name_ + ": empty image (" + std::to_string(width_) + "x" + std::to_string(height_) + ")");
        if (maxValue == 0 || maxValue > 65535)
            throw PageError(name_ + ": PNM maxval must be 1 to 65535, not " + std::to_string(maxValue));
        checkImageSize(name_, width_, height_, limits);
        bytesPerSample_ = maxValue > 255 ? 2 : 1;
        // Every sample value's 8-bit level. Wide samples are first scaled to
        // the full 16-bit range and then keep their high byte, as 16-bit PNG
        // samples do, so a 65535 PPM and a 16-bit PNG read alike.
        levels_.resize(size_t{maxValue} + 1);
        for (std::uint32_t sample = 0; sample <= maxValue; ++sample)
            levels_[sample] = static_cast<std::uint8_t>(
                bytesPerSample_ == 1 ? (sample * 255u + maxValue / 2) / maxValue
                                     : ((std::uint64_t{sample} * 65535 + maxValue / 2) / maxValue) >> 8);
    }

    std::uint32_t width() const override { return width_; }
    std::uint32_t height() const override { return height_; }
    std::string description() const override {
        return name_ + (channels_ == 3 ? " (PPM" : " (PGM") + (bytesPerSample_ == 2 ? ", 16-bit)" : ")");
    }

    void readRows(std::span<std::uint8_t> rows) override {
        const size_t pixels = rows.size() / 3;
        fileBytes_.resize(pixels * channels_ * bytesPerSample_);
        if (std::fread(fileBytes_.data(), 1, fileBytes_.size(), file_.get()) != fileBytes_.size())
            throw PageError(name_ + ": truncated PNM file (pixel data ends early)");
        if (bytesPerSample_ == 1)
            convert(rows, [&](size_t i) { return fileBytes_[i]; });
        else
            convert(rows, [&](size_t i) { return std::uint32_t{fileBytes_[2 * i]} << 8 | fileBytes_[2 * i + 1]; });
    }

private:
    template <typename Sample>
    void convert(std::span<std::uint8_t> rows, Sample sample) const {
        const size_t pixels = rows.size() / 3;
        for (size_t i = 0; i < pixels; ++i) {
            if (channels_ == 3) {
                rows[3 * i + 0] = level(sample(3 * i + 2));
                rows[3 * i + 1] = level(sample(3 * i + 1));
                rows[3 * i + 2] = level(sample(3 * i + 0));
            } else {
                const std::uint8_t grey = level(sample(i));
                rows[3 * i + 0] = rows[3 * i + 1] = rows[3 * i + 2] = grey;
            }
        }
    }

    std::uint8_t level(std::uint32_t sample) const {
        if (sample >= levels_.size()) throw PageError(name_ + ": corrupt PNM file (sample above maxval)");
        return levels_[sample];
    }

    std::string name_;
    InputHandle file_;
    std::uint32_t width_ = 0, height_ = 0;
    size_t channels_ = 3, bytesPerSample_ = 1;
    std::vector<std::uint8_t> levels_;
    std::vector<std::uint8_t> fileBytes_;
};

}  // namespace

std::unique_ptr<ImageSource> openPnm(InputStream input, const ImageLimits& limits) {
    return std::make_unique<PnmSource>(std::move(input), limits);
}

std::string planeFileHeader(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerDot) {
    if (bitsPerDot == 1) return "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
    return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n" +
           std::to_string((1u << bitsPerDot) - 1) + "\n";
}

void appendPlaneFileRow(std::span<const std::uint8_t> packedRow, std::uint32_t width, std::uint32_t bitsPerDot,
                        std::vector<std::uint8_t>& out) {
    if (bitsPerDot == 1) {
        out.insert(out.end(), packedRow.begin(), packedRow.begin() + (width + 7) / 8);
        return;
    }
    const std::uint32_t dotsPerByte = 8 / bitsPerDot;
    const std::uint32_t maxLevel = (1u << bitsPerDot) - 1;
    for (std::uint32_t dot = 0; dot < width; ++dot) {
        const std::uint32_t shift = 8 - bitsPerDot * (dot % dotsPerByte + 1);
        const std::uint32_t level = (packedRow[dot / dotsPerByte] >> shift) & maxLevel;
        out.push_back(static_cast<std::uint8_t>(maxLevel - level));
    }
}

}  // namespace huecl::pages
