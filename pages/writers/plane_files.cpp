// The plane writers (PBM/PGM, PNG, TIFF), a band at a time.
#include "pages/writers/plane_files.h"

#include "pages/writers/output_files.h"
#include "pages/readers/png_image.h"
#include "pages/readers/pnm_image.h"
#include "pages/readers/tiff_messages.h"
#include "pages/page_error.h"

#include <tiffio.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace huecl::pages {
namespace {

const char* const planeNames[] = {"c", "m", "y", "k"};
const char* const pageNames[] = {"cyan", "magenta", "yellow", "black"};

// The letter of a plane: a black-only page's one plane is black.
size_t colorantOf(const PlaneLayout& layout, size_t plane) { return layout.planeCount == 1 ? 3 : plane; }

size_t packedRowBytes(const PlaneLayout& layout) { return (size_t{layout.deviceWidth} * layout.bitsPerDot + 7) / 8; }

}  // namespace

class PlaneFiles::Writer {
public:
    virtual ~Writer() = default;
    virtual void addBand(std::span<const std::uint8_t* const> planes, std::uint32_t rows) = 0;
    virtual void finish() = 0;
};

namespace {

class PnmPlanes final : public PlaneFiles::Writer {
public:
    PnmPlanes(OutputFolder& output, const PlaneLayout& layout, std::uint32_t height) : layout_(layout) {
        const char* extension = layout.bitsPerDot == 1 ? ".pbm" : ".pgm";
        for (size_t plane = 0; plane < layout.planeCount; ++plane) {
            files_.push_back(&output.create(std::string("plane-") + planeNames[colorantOf(layout, plane)] + extension));
            files_.back()->write(planeFileHeader(layout.deviceWidth, height, layout.bitsPerDot));
        }
    }

    void addBand(std::span<const std::uint8_t* const> planes, std::uint32_t rows) override {
        for (size_t plane = 0; plane < files_.size(); ++plane) {
            fileRows_.clear();
            for (std::uint32_t row = 0; row < rows; ++row)
                appendPlaneFileRow(std::span(planes[plane] + size_t{row} * layout_.lineBytes, layout_.lineBytes),
                                   layout_.deviceWidth, layout_.bitsPerDot, fileRows_);
            files_[plane]->write(fileRows_);
        }
    }

    void finish() override {}

private:
    PlaneLayout layout_;
    std::vector<PendingFile*> files_;
    std::vector<std::uint8_t> fileRows_;
};

class PngPlanes final : public PlaneFiles::Writer {
public:
    PngPlanes(OutputFolder& output, const PlaneLayout& layout, std::uint32_t height, Resolution resolution)
        : layout_(layout), row_(packedRowBytes(layout)) {
        for (size_t plane = 0; plane < layout.planeCount; ++plane) {
            PendingFile& file = output.create(std::string("plane-") + planeNames[colorantOf(layout, plane)] + ".png");
            // PNG keeps one resolution for both axes as a pixel aspect; the
            // vertical one is what the preview uses too.
            writers_.push_back(std::make_unique<PngWriter>(file.stream(), file.finalPath().string(), layout.deviceWidth,
                                                           height, PngWriter::Channels::grey, layout.bitsPerDot,
                                                           resolution.x == resolution.y ? resolution.y : 0));
        }
    }

    void addBand(std::span<const std::uint8_t* const> planes, std::uint32_t rows) override {
        for (size_t plane = 0; plane < writers_.size(); ++plane)
            for (std::uint32_t row = 0; row < rows; ++row) {
                // Grey levels count light and dot values ink: each packed
                // field becomes its complement, which is all bits flipped.
                const std::uint8_t* packed = planes[plane] + size_t{row} * layout_.lineBytes;
                for (size_t i = 0; i < row_.size(); ++i) row_[i] = static_cast<std::uint8_t>(~packed[i]);
                writers_[plane]->writeRow(row_);
            }
    }

    void finish() override {
        for (auto& writer : writers_) writer->finish();
    }

private:
    PlaneLayout layout_;
    std::vector<std::unique_ptr<PngWriter>> writers_;
    std::vector<std::uint8_t> row_;
};

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// libtiff closes the descriptor it was given, so each opening gets its own.
TiffHandle openTiff(int descriptor, const char* mode, const std::string& name) {
    const int copy = ::dup(descriptor);
    if (copy < 0) throw PageError("cannot write " + name + ": " + std::strerror(errno));
    TIFF* tiff = TIFFFdOpen(copy, name.c_str(), mode);
    if (!tiff) {
        ::close(copy);
        throw PageError("cannot write " + name + ": " + lastTiffMessage());
    }
    return TiffHandle(tiff);
}

class TiffPlanes final : public PlaneFiles::Writer {
public:
    TiffPlanes(OutputFolder& output, const PlaneLayout& layout, std::uint32_t height, Resolution resolution)
        : layout_(layout), height_(height), resolution_(resolution), row_(packedRowBytes(layout)) {
        installTiffHandlers();
        file_ = &output.create("planes.tif", true);
        name_ = file_->finalPath().string();
        for (size_t plane = 0; plane < layout.planeCount; ++plane) {
            pages_.push_back(std::make_unique<Page>());
            Page& page = *pages_.back();
            page.descriptor = unnamedTemporaryFile(output.path());
            page.tiff = openTiff(page.descriptor, "w", name_);
            setTags(page.tiff.get(), plane);
        }
    }

    void addBand(std::span<const std::uint8_t* const> planes, std::uint32_t rows) override {
        for (size_t plane = 0; plane < pages_.size(); ++plane)
            for (std::uint32_t row = 0; row < rows; ++row) {
                // White-is-zero takes dot values as they are; the copy is
                // because a codec may work in the row it is given.
                std::memcpy(row_.data(), planes[plane] + size_t{row} * layout_.lineBytes, row_.size());
                if (TIFFWriteScanline(pages_[plane]->tiff.get(), row_.data(), nextRow_ + row, 0) < 0) fail();
            }
        nextRow_ += rows;
    }

    void finish() override {
        // The pages are whole now: flush each and copy its strips as they are.
        for (auto& page : pages_) {
            if (TIFFFlush(page->tiff.get()) != 1) fail();
            page->tiff.reset();
        }
        if (std::fflush(file_->stream()) != 0) throw PageError("cannot write " + name_ + ": " + std::strerror(errno));
        TiffHandle out = openTiff(::fileno(file_->stream()), "w", name_);
        std::vector<std::uint8_t> strip;
        for (size_t plane = 0; plane < pages_.size(); ++plane) {
            ::lseek(pages_[plane]->descriptor, 0, SEEK_SET);
            TiffHandle in = openTiff(pages_[plane]->descriptor, "r", name_);
            setTags(out.get(), plane);
            const std::uint32_t strips = TIFFNumberOfStrips(in.get());
            for (std::uint32_t index = 0; index < strips; ++index) {
                const tmsize_t size = TIFFRawStripSize(in.get(), index);
                if (size < 0) fail();
                strip.resize(static_cast<size_t>(size));
                if (TIFFReadRawStrip(in.get(), index, strip.data(), size) != size ||
                    TIFFWriteRawStrip(out.get(), index, strip.data(), size) != size)
                    fail();
            }
            if (TIFFWriteDirectory(out.get()) != 1) fail();
        }
        if (TIFFFlush(out.get()) != 1) fail();
    }

    ~TiffPlanes() override {
        for (auto& page : pages_) {
            page->tiff.reset();
            if (page->descriptor >= 0) ::close(page->descriptor);
        }
    }

private:
    struct Page {
        int descriptor = -1;
        TiffHandle tiff;
    };

    // A file without a name, in the output folder (where the space for the
    // result is) if the file system allows; gone when closed or killed.
    int unnamedTemporaryFile(const std::filesystem::path& folder) const {
        int descriptor = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (descriptor >= 0) return descriptor;
        std::FILE* file = std::tmpfile();
        if (file) {
            descriptor = ::dup(::fileno(file));
            std::fclose(file);
        }
        if (descriptor < 0)
            throw PageError("cannot create a temporary file for " + name_ + ": " + std::strerror(errno));
        return descriptor;
    }

    void setTags(TIFF* tiff, size_t plane) const {
        const bool bilevel = layout_.bitsPerDot == 1;
        TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, layout_.deviceWidth);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height_);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(layout_.bitsPerDot));
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(1));
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, bilevel ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
        if (bilevel) TIFFSetField(tiff, TIFFTAG_T6OPTIONS, 0);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip());
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(resolution_.x));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(resolution_.y));
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tiff, TIFFTAG_PAGENUMBER, static_cast<std::uint16_t>(plane),
                     static_cast<std::uint16_t>(pages_.size()));
        TIFFSetField(tiff, TIFFTAG_PAGENAME, pageNames[colorantOf(layout_, plane)]);
        TIFFSetField(tiff, TIFFTAG_SOFTWARE, "huecl");
    }

    // Strips of about 64 KiB of dots: small enough to copy in one piece,
    // large enough for the codecs.
    std::uint32_t rowsPerStrip() const {
        return static_cast<std::uint32_t>(std::max<size_t>(1, 65536 / std::max<size_t>(1, row_.size())));
    }

    [[noreturn]] void fail() const { throw PageError("cannot write " + name_ + ": " + lastTiffMessage()); }

    PlaneLayout layout_;
    std::uint32_t height_;
    Resolution resolution_;
    PendingFile* file_ = nullptr;
    std::string name_;
    std::vector<std::unique_ptr<Page>> pages_;
    std::vector<std::uint8_t> row_;
    std::uint32_t nextRow_ = 0;
};

}  // namespace

PlaneFiles::PlaneFiles(OutputFolder& output, PlaneFormat format, const PlaneLayout& layout, std::uint32_t deviceHeight,
                       Resolution deviceResolution) {
    switch (format) {
        case PlaneFormat::pnm: writer_ = std::make_unique<PnmPlanes>(output, layout, deviceHeight); return;
        case PlaneFormat::png:
            writer_ = std::make_unique<PngPlanes>(output, layout, deviceHeight, deviceResolution);
            return;
        case PlaneFormat::tiff:
            writer_ = std::make_unique<TiffPlanes>(output, layout, deviceHeight, deviceResolution);
            return;
    }
    throw std::logic_error("unknown plane format");
}

PlaneFiles::~PlaneFiles() = default;

void PlaneFiles::addBand(std::span<const std::uint8_t* const> planes, std::uint32_t rows) {
    writer_->addBand(planes, rows);
}

void PlaneFiles::finish() { writer_->finish(); }

}  // namespace huecl::pages
