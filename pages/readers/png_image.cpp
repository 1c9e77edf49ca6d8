// The PNG reader and row writer over libpng.
#include "pages/readers/png_image.h"

#include "pages/page_error.h"

#include <huecl32.h>
#include <png.h>

#include <array>
#include <csetjmp>
#include <cerrno>
#include <cstring>
#include <vector>

namespace huecl::pages {
namespace {

// libpng reports errors by longjmp. Every libpng call goes through one of the
// small functions below that set the jump point and hold no C++ object with
// a destructor, so the jump never skips one; the message waits in the
// context and becomes a PageError afterwards.
struct PngErrorContext {
    char message[200] = "";
};

void recordPngError(png_structp png, png_const_charp message) {
    auto* context = static_cast<PngErrorContext*>(png_get_error_ptr(png));
    std::snprintf(context->message, sizeof context->message, "%s", message);
    png_longjmp(png, 1);
}

void ignorePngWarning(png_structp, png_const_charp) {}

bool readPngHeader(png_structp png, png_infop info, std::FILE* file, bool& indexed) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_sig_bytes(png, 0);
    png_read_info(png, info);
    // Palette images come as packed indices, which QvrColPtcPrc expands;
    // every other colour type becomes 8-bit blue, green, red, alpha here.
    indexed = png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE;
    if (!indexed) {
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    }
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

// The palette and its tRNS alphas as libpng holds them.
struct PngPalette {
    png_colorp colours = nullptr;
    int colourCount = 0;
    png_bytep alphas = nullptr;
    int alphaCount = 0;
};

bool readPngPalette(png_structp png, png_infop info, PngPalette& palette) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_get_PLTE(png, info, &palette.colours, &palette.colourCount);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_get_tRNS(png, info, &palette.alphas, &palette.alphaCount, nullptr);
    return true;
}

// The palette as 32-bit entries of blue, green, red and alpha (opaque
// where tRNS has none), the pixel layout libpng's expansion gives the
// other colour types. Indices past the palette read as opaque black, as
// they do in libpng's own expansion.
std::array<std::uint32_t, 256> paletteEntries(const PngPalette& palette) {
    std::array<std::uint32_t, 256> entries{};
    for (int index = 0; index < 256; ++index) {
        const png_color colour = index < palette.colourCount ? palette.colours[index] : png_color{0, 0, 0};
        const std::uint8_t bgra[4] = {
            colour.blue, colour.green, colour.red,
            static_cast<std::uint8_t>(index < palette.alphaCount ? palette.alphas[index] : 0xFF)};
        std::memcpy(&entries[static_cast<size_t>(index)], bgra, sizeof bgra);
    }
    return entries;
}

bool readPngRows(png_structp png, png_bytepp rows, png_uint_32 count) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_rows(png, rows, nullptr, count);
    return true;
}

bool readWholePng(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

// Owns libpng's read structures, so that a throwing constructor frees them.
struct PngReadHandles {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReadHandles() { png_destroy_read_struct(&png, &info, nullptr); }
};

class PngSource final : public ImageSource {
public:
    PngSource(InputStream input, const ImageLimits& limits)
        : name_(std::move(input.name)), file_(std::move(input.file)) {
        handles_.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors_, recordPngError, ignorePngWarning);
        if (handles_.png) handles_.info = png_create_info_struct(handles_.png);
        png_ = handles_.png;
        info_ = handles_.info;
        if (!png_ || !info_) throw PageError(name_ + ": out of memory for the PNG reader");
        bool indexed = false;
        if (!readPngHeader(png_, info_, file_.get(), indexed)) fail();
        width_ = png_get_image_width(png_, info_);
        height_ = png_get_image_height(png_, info_);
        checkImageSize(name_, width_, height_, limits);
        if (indexed) {
            bitsPerIndex_ = png_get_bit_depth(png_, info_);
            PngPalette palette;
            if (!readPngPalette(png_, info_, palette)) fail();
            palette_ = paletteEntries(palette);
        }
        fileRowBytes_ = indexed ? (size_t{width_} * bitsPerIndex_ + 7) / 8 : size_t{width_} * 4;
        if (png_get_rowbytes(png_, info_) != fileRowBytes_) throw PageError(name_ + ": unsupported PNG pixel layout");
        if (png_get_interlace_type(png_, info_) != PNG_INTERLACE_NONE) {
            // Interlaced passes cover the whole image; only these are held whole.
            checkReaderMemory(name_, std::uint64_t{fileRowBytes_} * height_, "an interlaced PNG whole", limits);
            wholeImage_.resize(fileRowBytes_ * height_);
            std::vector<png_bytep> rowPointers(height_);
            for (std::uint32_t y = 0; y < height_; ++y) rowPointers[y] = wholeImage_.data() + size_t{y} * fileRowBytes_;
            if (!readWholePng(png_, rowPointers.data())) fail();
        }
    }

    std::uint32_t width() const override { return width_; }
    std::uint32_t height() const override { return height_; }
    std::string description() const override { return name_ + " (PNG)"; }

    void readRows(std::span<std::uint8_t> rows) override {
        const std::uint32_t count = static_cast<std::uint32_t>(rows.size() / (size_t{width_} * 3));
        rgba_.resize(size_t{width_} * count * 4);
        // Palette rows arrive packed and are expanded into rgba_ below.
        std::vector<std::uint8_t>& fileRows = bitsPerIndex_ != 0 ? indices_ : rgba_;
        fileRows.resize(fileRowBytes_ * count);
        if (wholeImage_.empty()) {
            std::vector<png_bytep> rowPointers(count);
            for (std::uint32_t y = 0; y < count; ++y) rowPointers[y] = fileRows.data() + size_t{y} * fileRowBytes_;
            if (!readPngRows(png_, rowPointers.data(), count)) fail();
        } else {
            std::memcpy(fileRows.data(), wholeImage_.data() + size_t{nextRow_} * fileRowBytes_, fileRows.size());
        }
        nextRow_ += count;
        if (bitsPerIndex_ != 0) {
            // The expansion shifts 1-, 2- and 4-bit rows in place; they are
            // read once, so nothing needs them afterwards.
            for (std::uint32_t y = 0; y < count; ++y)
                QvrColPtcPrc(bitsPerIndex_, width_, indices_.data() + size_t{y} * fileRowBytes_,
                             reinterpret_cast<std::uint32_t*>(rgba_.data() + size_t{y} * width_ * 4), palette_.data());
        }
        compositeOnWhite(rows);
    }

private:
    [[noreturn]] void fail() const { throw PageError(name_ + ": corrupt or truncated PNG (" + errors_.message + ")"); }

    // Transparent areas print as paper, so alpha blends towards white.
    void compositeOnWhite(std::span<std::uint8_t> rows) const {
        const size_t pixels = rows.size() / 3;
        for (size_t i = 0; i < pixels; ++i) {
            const std::uint32_t alpha = rgba_[4 * i + 3];
            for (size_t c = 0; c < 3; ++c) {
                const std::uint32_t blended = (rgba_[4 * i + c] * alpha + 255 * (255 - alpha) + 127) / 255;
                rows[3 * i + c] = static_cast<std::uint8_t>(blended);
            }
        }
    }

    std::string name_;
    InputHandle file_;
    PngErrorContext errors_;
    PngReadHandles handles_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    std::uint32_t width_ = 0, height_ = 0, nextRow_ = 0;
    std::uint32_t bitsPerIndex_ = 0;  // 1, 2, 4 or 8 for a palette image, else 0
    size_t fileRowBytes_ = 0;         // one row as libpng delivers it
    std::array<std::uint32_t, 256> palette_{};
    std::vector<std::uint8_t> indices_;
    std::vector<std::uint8_t> rgba_;
    std::vector<std::uint8_t> wholeImage_;
};

bool startPngFile(png_structp png, png_infop info, std::FILE* file, std::uint32_t width, std::uint32_t height,
                  int colourType, int bitDepth, png_uint_32 pixelsPerMetre) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, bitDepth, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (pixelsPerMetre != 0) png_set_pHYs(png, info, pixelsPerMetre, pixelsPerMetre, PNG_RESOLUTION_METER);
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    return true;
}

bool writePngRow(png_structp png, png_const_bytep row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_write_row(png, row);
    return true;
}

bool endPngFile(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_write_end(png, info);
    return true;
}

}  // namespace

std::unique_ptr<ImageSource> openPng(InputStream input, const ImageLimits& limits) {
    return std::make_unique<PngSource>(std::move(input), limits);
}

struct PngWriter::State {
    std::string name;
    PngErrorContext errors;
    png_structp png = nullptr;
    png_infop info = nullptr;
    size_t rowBytes = 0;
    std::uint32_t rowsLeft = 0;

    ~State() { png_destroy_write_struct(&png, &info); }
    [[noreturn]] void fail() const { throw PageError("cannot write PNG " + name + ": " + errors.message); }
};

PngWriter::PngWriter(std::FILE* file, std::string name, std::uint32_t width, std::uint32_t height, Channels channels,
                     std::uint32_t bitDepth, std::uint32_t dotsPerInch)
    : state_(std::make_unique<State>()) {
    if (bitDepth != 8 && (channels != Channels::grey || (bitDepth != 1 && bitDepth != 2 && bitDepth != 4)))
        throw std::logic_error("PNG bit depth the writer does not take");
    state_->name = std::move(name);
    state_->rowBytes = (size_t{width} * static_cast<size_t>(channels) * bitDepth + 7) / 8;
    state_->rowsLeft = height;
    state_->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state_->errors, recordPngError, ignorePngWarning);
    if (state_->png) state_->info = png_create_info_struct(state_->png);
    if (!state_->png || !state_->info) throw PageError("out of memory for the PNG writer");
    const int colourType = channels == Channels::rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
    // The resolution goes in per metre, rounded: 600 dpi is 23622.
    const auto pixelsPerMetre = static_cast<png_uint_32>((std::uint64_t{dotsPerInch} * 10000 + 127) / 254);
    if (!startPngFile(state_->png, state_->info, file, width, height, colourType, static_cast<int>(bitDepth),
                      pixelsPerMetre))
        state_->fail();
}

PngWriter::~PngWriter() = default;

void PngWriter::favourSpeed() {
    png_set_compression_level(state_->png, 1);
    png_set_filter(state_->png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
}

void PngWriter::writeRow(std::span<const std::uint8_t> row) {
    if (row.size() != state_->rowBytes || state_->rowsLeft == 0)
        throw std::logic_error("PNG row of the wrong size or beyond the image");
    if (!writePngRow(state_->png, row.data())) state_->fail();
    --state_->rowsLeft;
}

void PngWriter::finish() {
    if (state_->rowsLeft != 0) throw std::logic_error("PNG finished before its last row");
    if (!endPngFile(state_->png, state_->info)) state_->fail();
}

}  // namespace huecl::pages
