// The TIFF reader over libtiff: its colour types, strips and tiles, and a
// pipe copied to a temporary file first.
#include "pages/readers/tiff_image.h"

#include "pages/readers/tiff_messages.h"
#include "pages/page_error.h"
#include "pages/readers/image_orientation.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace huecl::pages {
namespace {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// A descriptor of the input that libtiff may seek in and close: the file
// itself (duplicated), or an unnamed temporary copy of a pipe. The copy is
// held to the reader's memory limit, since the temporary folder may well be
// memory and a pipe has no end of its own. name: the input's, which the
// caller has taken from it already.
int seekableDescriptor(InputStream& input, const std::string& name, const ImageLimits& limits) {
    std::FILE* file = input.file.get();
    if (inputSize(input) != 0) {
        const int copy = ::dup(::fileno(file));
        if (copy < 0 || ::lseek(copy, 0, SEEK_SET) != 0)
            throw PageError("cannot read " + name + ": " + std::strerror(errno));
        return copy;
    }
    std::FILE* temporary = std::tmpfile();
    if (!temporary)
        throw PageError("cannot read " + name + ": no temporary file for it (" + std::strerror(errno) + ")");
    std::vector<char> buffer(1 << 16);
    std::uint64_t copied = 0;
    bool written = true;
    while (written) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
        if (got == 0) break;
        copied += got;
        if (copied > limits.memoryBytes) {
            std::fclose(temporary);
            throw PageError(name +
                            ": a TIFF on a pipe is copied before it is read, and this one exceeds the "
                            "limit of " +
                            std::to_string((limits.memoryBytes + (1u << 20) - 1) >> 20) +
                            " MiB (--max-memory raises it)");
        }
        written = std::fwrite(buffer.data(), 1, got, temporary) == got;
    }
    const bool readFailed = std::ferror(file) != 0;
    const int saved = errno;
    const int copy = written && !readFailed && std::fflush(temporary) == 0 ? ::dup(::fileno(temporary)) : -1;
    std::fclose(temporary);
    if (readFailed) throw PageError("cannot read " + name + ": " + std::strerror(saved));
    if (copy < 0 || ::lseek(copy, 0, SEEK_SET) != 0)
        throw PageError("cannot read " + name + ": cannot copy it to a temporary file (" + std::strerror(errno) + ")");
    return copy;
}

// What the samples of a pixel mean.
enum class TiffKind { grey, greyInverted, palette, rgb, cmyk };

class TiffSource final : public ImageSource {
public:
    TiffSource(InputStream input, const ImageLimits& limits) : name_(std::move(input.name)) {
        installTiffHandlers();
        clearTiffMessage();
        const int descriptor = seekableDescriptor(input, name_, limits);
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        // libtiff's own allocations (strip tables, decoders) keep to the limit too.
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(std::min<std::uint64_t>(
                                                         limits.memoryBytes, std::numeric_limits<tmsize_t>::max())));
        // "m": no memory mapping, so that resident memory follows the strip.
        tiff_.reset(TIFFFdOpenExt(descriptor, name_.c_str(), "rm", options));
        TIFFOpenOptionsFree(options);
        if (!tiff_) {
            ::close(descriptor);
            fail("not a readable TIFF");
        }
        TIFF* tiff = tiff_.get();
        std::uint32_t width = 0, height = 0;
        if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height))
            fail("corrupt TIFF");
        if (width == 0 || height == 0)
            throw PageError(name_ + ": empty image (" + std::to_string(width) + "x" + std::to_string(height) + ")");
        checkImageSize(name_, width, height, limits);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation_);
        width_ = width, height_ = height;
        readLayout(limits);
        pages_ = TIFFNumberOfDirectories(tiff);
        if (pages_ > 1) std::fprintf(stderr, "huecl: %s holds %u pages; the first is printed\n", name_.c_str(), pages_);
    }

    std::uint32_t width() const override { return width_; }
    std::uint32_t height() const override { return height_; }
    SourcePixels pixels() const override { return kind_ == TiffKind::cmyk ? SourcePixels::cmyk : SourcePixels::bgr; }
    std::uint16_t orientation() const { return orientation_; }
    std::string description() const override {
        std::string text = name_ + " (TIFF";
        if (kind_ == TiffKind::cmyk) text += ", CMYK";
        if (pages_ > 1) text += ", page 1 of " + std::to_string(pages_);
        return text + ")";
    }

    void readRows(std::span<std::uint8_t> rows) override {
        const size_t outBytes = size_t{width_} * static_cast<std::uint32_t>(pixels());
        if (nextRow_ + rows.size() / outBytes > height_) throw std::logic_error("TIFF rows beyond the image");
        for (size_t offset = 0; offset + outBytes <= rows.size(); offset += outBytes) {
            if (nextRow_ >= chunkFirstRow_ + chunkRows_) readChunk();
            convertRow(chunk_.data() + size_t{nextRow_ - chunkFirstRow_} * rowBytes_, rows.data() + offset);
            ++nextRow_;
        }
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        const char* message = lastTiffMessage();
        throw PageError(name_ + ": " + what + (*message ? std::string(" (") + message + ")" : std::string()));
    }

    [[noreturn]] void refuse(const std::string& what) const {
        throw PageError(name_ + ": " + what + " is not supported");
    }

    void readLayout(const ImageLimits& limits) {
        TIFF* tiff = tiff_.get();
        std::uint16_t bits = 1, samples = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
        std::uint16_t photometric = 0, inkSet = INKSET_CMYK, compression = COMPRESSION_NONE;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkSet);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
        if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric))
            fail("corrupt TIFF (no photometric interpretation)");
        if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID)
            refuse(format == SAMPLEFORMAT_IEEEFP ? "TIFF of floating-point samples" : "TIFF of signed samples");

        std::uint16_t colourSamples = 0;
        switch (photometric) {
            case PHOTOMETRIC_MINISBLACK: kind_ = TiffKind::grey, colourSamples = 1; break;
            case PHOTOMETRIC_MINISWHITE: kind_ = TiffKind::greyInverted, colourSamples = 1; break;
            case PHOTOMETRIC_PALETTE: kind_ = TiffKind::palette, colourSamples = 1; break;
            case PHOTOMETRIC_RGB: kind_ = TiffKind::rgb, colourSamples = 3; break;
            case PHOTOMETRIC_SEPARATED:
                if (inkSet != INKSET_CMYK) refuse("TIFF of inks other than CMYK");
                kind_ = TiffKind::cmyk, colourSamples = 4;
                break;
            case PHOTOMETRIC_YCBCR:
                // The JPEG codec converts YCbCr to RGB itself; other YCbCr
                // (subsampled, uncompressed or LZW) is rare.
                if (compression != COMPRESSION_JPEG) refuse("YCbCr TIFF that is not JPEG-compressed");
                TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
                kind_ = TiffKind::rgb, colourSamples = 3;
                break;
            default:
                refuse("TIFF photometric interpretation " + std::to_string(photometric) +
                       " (only grey, palette, RGB, YCbCr and CMYK are)");
        }
        if (samples < colourSamples)
            fail("corrupt TIFF (" + std::to_string(samples) + " samples per pixel for photometric " +
                 std::to_string(photometric) + ")");
        const bool packed = bits == 1 || bits == 2 || bits == 4;
        if (!(bits == 8 || bits == 16 || (packed && samples == 1 && colourSamples == 1)))
            refuse("TIFF of " + std::to_string(bits) + "-bit samples" +
                   (samples > 1 ? " and " + std::to_string(samples) + " samples per pixel" : std::string()) +
                   " (8 or 16 bits; 1, 2 and 4 for grey and palette)");
        if (kind_ == TiffKind::palette && bits == 16) refuse("TIFF of 16-bit palette indices");
        bits_ = bits, samples_ = samples;
        // The first extra sample, if it is alpha, blends towards paper.
        std::uint16_t extraCount = 0;
        std::uint16_t* extraKinds = nullptr;
        if (samples > colourSamples && TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) &&
            extraCount > 0) {
            if (extraKinds[0] == EXTRASAMPLE_ASSOCALPHA)
                alpha_ = Alpha::associated;
            else if (extraKinds[0] == EXTRASAMPLE_UNASSALPHA)
                alpha_ = Alpha::unassociated;
        }
        alphaSample_ = colourSamples;
        if (kind_ == TiffKind::palette) readPalette();

        rowBytes_ = (size_t{width_} * samples_ * bits_ + 7) / 8;
        separate_ = planar == PLANARCONFIG_SEPARATE && samples_ > 1;
        if (TIFFIsTiled(tiff)) {
            std::uint32_t tileWidth = 0, tileLength = 0;
            TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
            TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileLength);
            if (tileWidth == 0 || tileLength == 0 || tileWidth % 16 != 0)
                fail("corrupt TIFF (tiles of " + std::to_string(tileWidth) + "x" + std::to_string(tileLength) + ")");
            tileWidth_ = tileWidth;
            chunkCapacity_ = std::min(tileLength, height_);
            tileBytes_ = static_cast<std::uint64_t>(TIFFTileSize64(tiff));
            if (tileBytes_ == 0) fail("corrupt TIFF");
        } else if (separate_) {
            std::uint32_t rowsPerStrip = height_;
            TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
            chunkCapacity_ = std::clamp<std::uint32_t>(rowsPerStrip, 1, height_);
            tileBytes_ = static_cast<std::uint64_t>(TIFFStripSize64(tiff));
            if (tileBytes_ == 0) fail("corrupt TIFF");
        } else {
            chunkCapacity_ = 1;  // read a scanline at a time
            if (static_cast<std::uint64_t>(TIFFScanlineSize64(tiff)) != rowBytes_)
                fail("corrupt TIFF (unexpected row size)");
        }
        checkReaderMemory(name_, std::uint64_t{chunkCapacity_} * rowBytes_ + tileBytes_,
                          TIFFIsTiled(tiff) ? "a row of tiles"
                          : separate_       ? "a strip"
                                            : "a row",
                          limits);
        chunk_.resize(size_t{chunkCapacity_} * rowBytes_);
        tileBuffer_.resize(tileBytes_);
    }

    void readPalette() {
        std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tiff_.get(), TIFFTAG_COLORMAP, &red, &green, &blue))
            fail("corrupt TIFF (palette image without a colour map)");
        const size_t entries = size_t{1} << bits_;
        // The colour map holds 16-bit levels; some old writers put 8-bit
        // levels in it, which shows as no entry above 255.
        bool eightBit = true;
        for (size_t i = 0; i < entries; ++i) eightBit = eightBit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
        const int shift = eightBit ? 0 : 8;
        palette_.assign(256 * 3, 0);
        for (size_t i = 0; i < entries; ++i) {
            palette_[3 * i + 0] = static_cast<std::uint8_t>(blue[i] >> shift);
            palette_[3 * i + 1] = static_cast<std::uint8_t>(green[i] >> shift);
            palette_[3 * i + 2] = static_cast<std::uint8_t>(red[i] >> shift);
        }
    }

    // Fills chunk_ with the next strip, row of tiles or row, samples
    // interleaved as a chunky scanline holds them.
    void readChunk() {
        TIFF* tiff = tiff_.get();
        chunkFirstRow_ = nextRow_;
        chunkRows_ = std::min(chunkCapacity_, height_ - nextRow_);
        clearTiffMessage();
        if (TIFFIsTiled(tiff)) {
            const tmsize_t tileRowBytes = TIFFTileRowSize(tiff);
            for (std::uint32_t x = 0; x < width_; x += tileWidth_) {
                const std::uint32_t columns = std::min(tileWidth_, width_ - x);
                for (std::uint16_t plane = 0; plane < (separate_ ? samples_ : 1); ++plane) {
                    if (TIFFReadTile(tiff, tileBuffer_.data(), x, chunkFirstRow_, 0, plane) < 0)
                        fail("corrupt or truncated TIFF");
                    for (std::uint32_t row = 0; row < chunkRows_; ++row)
                        placeSamples(tileBuffer_.data() + row * tileRowBytes, row, x, columns, plane);
                }
            }
        } else if (separate_) {
            for (std::uint16_t plane = 0; plane < samples_; ++plane) {
                const std::uint32_t strip = TIFFComputeStrip(tiff, chunkFirstRow_, plane);
                const tmsize_t expected = static_cast<tmsize_t>(size_t{chunkRows_} * width_ * (bits_ / 8));
                if (TIFFReadEncodedStrip(tiff, strip, tileBuffer_.data(), expected) != expected)
                    fail("corrupt or truncated TIFF");
                for (std::uint32_t row = 0; row < chunkRows_; ++row)
                    placeSamples(tileBuffer_.data() + size_t{row} * width_ * (bits_ / 8), row, 0, width_, plane);
            }
        } else if (TIFFReadScanline(tiff, chunk_.data(), chunkFirstRow_, 0) < 0) {
            fail("corrupt or truncated TIFF");
        }
    }

    // Copies columns pixels of one decoded row, starting at column x, into
    // row of the chunk: all samples (chunky data) or one plane's sample.
    void placeSamples(const std::uint8_t* from, std::uint32_t row, std::uint32_t x, std::uint32_t columns,
                      std::uint16_t plane) {
        std::uint8_t* to = chunk_.data() + size_t{row} * rowBytes_;
        if (!separate_) {
            // Tile widths are multiples of 16, so even packed samples start
            // on a byte.
            const size_t start = size_t{x} * samples_ * bits_ / 8;
            std::memcpy(to + start, from, (size_t{columns} * samples_ * bits_ + 7) / 8);
            return;
        }
        const size_t sampleBytes = bits_ / 8;
        for (std::uint32_t i = 0; i < columns; ++i)
            std::memcpy(to + ((size_t{x} + i) * samples_ + plane) * sampleBytes, from + i * sampleBytes, sampleBytes);
    }

    // The 8-bit level of sample s of pixel i in a chunky row; 16-bit
    // samples keep their high byte, as 16-bit PNG samples do.
    std::uint32_t level(const std::uint8_t* row, size_t i, size_t s) const {
        switch (bits_) {
            case 8: return row[i * samples_ + s];
            case 16: {
                std::uint16_t sample;
                std::memcpy(&sample, row + 2 * (i * samples_ + s), 2);  // libtiff gives native byte order
                return sample >> 8;
            }
            default: {
                const std::uint32_t mask = (1u << bits_) - 1;
                return index(row, i) * 255 / mask;
            }
        }
    }

    // A packed or 8-bit sample as it is (palette index).
    std::uint32_t index(const std::uint8_t* row, size_t i) const {
        if (bits_ == 8) return row[i];
        const size_t bit = i * bits_;
        return (row[bit / 8] >> (8 - bits_ - bit % 8)) & ((1u << bits_) - 1);
    }

    void convertRow(const std::uint8_t* row, std::uint8_t* out) const {
        if (bits_ == 8 && alpha_ == Alpha::none && convertPlainRow(row, out)) return;
        for (size_t i = 0; i < width_; ++i) {
            std::uint32_t alpha = alpha_ == Alpha::none ? 255 : level(row, i, alphaSample_);
            if (kind_ == TiffKind::cmyk) {
                for (size_t ink = 0; ink < 4; ++ink) {
                    std::uint32_t value = level(row, i, ink);
                    // Where the picture is transparent, the paper shows: no ink.
                    if (alpha_ == Alpha::unassociated)
                        value = (value * alpha + 127) / 255;
                    else if (alpha_ == Alpha::associated)
                        value = std::min(value, alpha);
                    out[4 * i + ink] = static_cast<std::uint8_t>(value);
                }
                continue;
            }
            std::uint32_t blue, green, red;
            switch (kind_) {
                case TiffKind::grey: blue = green = red = level(row, i, 0); break;
                case TiffKind::greyInverted: blue = green = red = 255 - level(row, i, 0); break;
                case TiffKind::palette: {
                    const std::uint8_t* entry = &palette_[3 * index(row, i)];
                    blue = entry[0], green = entry[1], red = entry[2];
                    break;
                }
                default: red = level(row, i, 0), green = level(row, i, 1), blue = level(row, i, 2); break;
            }
            const std::uint32_t colour[3] = {blue, green, red};
            for (size_t c = 0; c < 3; ++c) {
                std::uint32_t value = colour[c];
                if (alpha_ == Alpha::unassociated)
                    value = (value * alpha + 255 * (255 - alpha) + 127) / 255;
                else if (alpha_ == Alpha::associated)
                    value = std::min<std::uint32_t>(255, value + 255 - alpha);
                out[3 * i + c] = static_cast<std::uint8_t>(value);
            }
        }
    }

    // The common 8-bit kinds without alpha, in loops of their own; false
    // for the rest.
    bool convertPlainRow(const std::uint8_t* row, std::uint8_t* out) const {
        switch (kind_) {
            case TiffKind::rgb:
                for (size_t i = 0; i < width_; ++i, row += samples_, out += 3)
                    out[0] = row[2], out[1] = row[1], out[2] = row[0];
                return true;
            case TiffKind::grey:
                for (size_t i = 0; i < width_; ++i, row += samples_, out += 3) out[0] = out[1] = out[2] = row[0];
                return true;
            case TiffKind::cmyk:
                for (size_t i = 0; i < width_; ++i, row += samples_, out += 4) std::memcpy(out, row, 4);
                return true;
            default: return false;
        }
    }

    enum class Alpha { none, associated, unassociated };

    std::string name_;
    TiffHandle tiff_;
    std::uint32_t width_ = 0, height_ = 0;
    std::uint32_t pages_ = 1;
    TiffKind kind_ = TiffKind::grey;
    std::uint32_t bits_ = 8, samples_ = 1;
    Alpha alpha_ = Alpha::none;
    size_t alphaSample_ = 0;
    bool separate_ = false;
    std::uint32_t tileWidth_ = 0;
    std::vector<std::uint8_t> palette_;  // blue, green, red per index
    size_t rowBytes_ = 0;                // one chunky row of the file's samples
    std::uint32_t chunkCapacity_ = 1, chunkFirstRow_ = 0, chunkRows_ = 0, nextRow_ = 0;
    std::uint16_t orientation_ = ORIENTATION_TOPLEFT;
    std::uint64_t tileBytes_ = 0;  // one tile or one plane's strip as libtiff decodes it
    std::vector<std::uint8_t> chunk_, tileBuffer_;
};

}  // namespace

std::unique_ptr<ImageSource> openTiff(InputStream input, const ImageLimits& limits) {
    auto stored = std::make_unique<TiffSource>(std::move(input), limits);
    const std::uint16_t orientation = stored->orientation();
    return orientImage(std::move(stored), orientation, limits);
}

}  // namespace huecl::pages
