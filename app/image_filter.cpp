#include "image_filter.h"

#include "job_order.h"
#include "job_printer.h"
#include "printer_turn.h"

#include "pages/page_error.h"
#include "pages/readers/image_source.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

namespace huecl::app {
namespace {

using pages::PageError;

std::uint32_t bigEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

// The JPEG markers up to the first frame header: JFIF's density, and the
// number of components the frame holds.
ImageFacts jpegFacts(const std::vector<std::uint8_t>& bytes) {
    ImageFacts facts;
    size_t at = 2;
    while (at + 4 <= bytes.size() && bytes[at] == 0xFF) {
        const std::uint8_t marker = bytes[at + 1];
        const size_t length = bigEndian(&bytes[at + 2], 2);
        const std::uint8_t* segment = &bytes[at + 4];
        const size_t available = std::min(length >= 2 ? length - 2 : 0, bytes.size() - at - 4);
        if (marker == 0xE0 && available >= 12 && std::memcmp(segment, "JFIF", 5) == 0) {
            const std::uint32_t units = segment[7], x = bigEndian(segment + 8, 2), y = bigEndian(segment + 10, 2);
            if (x == y && units == 1) facts.pixelsPerInch = static_cast<int>(x);
            if (x == y && units == 2) facts.pixelsPerInch = static_cast<int>((x * 254 + 50) / 100);
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (available >= 6) facts.grey = segment[5] == 1;
            break;
        }
        at += 2 + length;
    }
    return facts;
}

// The PNG header's colour type, and pHYs ahead of the image data.
ImageFacts pngFacts(const std::vector<std::uint8_t>& bytes) {
    ImageFacts facts;
    size_t at = 8;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t length = bigEndian(&bytes[at], 4);
        const std::uint8_t* type = &bytes[at + 4];
        const std::uint8_t* data = &bytes[at + 8];
        const bool whole = at + 8 + length <= bytes.size();
        if (std::memcmp(type, "IHDR", 4) == 0 && whole && length >= 13) {
            facts.grey = (data[9] & 2) == 0;  // no colour bit: grey, with or without alpha
        } else if (std::memcmp(type, "pHYs", 4) == 0 && whole && length >= 9) {
            const std::uint32_t x = bigEndian(data, 4), y = bigEndian(data + 4, 4);
            // Pixels per metre, as libpng turns them into pixels per inch.
            if (x == y && data[8] == 1) facts.pixelsPerInch = static_cast<int>((x * 127 + 2500) / 5000);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            break;
        }
        at += 12 + length;
    }
    return facts;
}

}  // namespace

ImageFacts imageFacts(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes(65536);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return jpegFacts(bytes);
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) == 0) return pngFacts(bytes);
    return {};
}

bool printImage(pappl_job_t* job, pappl_device_t* given, void* /*data*/) {
    const FilterTurn turn(job, given);
    if (turn.cancelled()) return true;
    pappl_device_t* device = turn.device();
    if (!device) return false;
    const char* file = papplJobGetFilename(job);
    const char* format = papplJobGetFormat(job);
    const std::string kind = format && std::strcmp(format, "image/png") == 0 ? "PNG" : "JPEG";
    if (!file) {
        reportJobFailure(job, "the job has no document to print", PAPPL_JREASON_ABORTED_BY_SYSTEM);
        return false;
    }
    const ImageFacts facts = imageFacts(file);
    PrintOptions options = renderOptionsOf(job, 1, !facts.grey);
    if (!options) {
        reportJobFailure(job, "the job's options cannot be read", PAPPL_JREASON_ABORTED_BY_SYSTEM);
        return false;
    }
    int maxWidth = 0, maxHeight = 0;
    papplSystemGetMaxImageSize(papplPrinterGetSystem(papplJobGetPrinter(job)), &maxWidth, &maxHeight);

    // PAPPL lays grey images onto grey pages and RGB ones onto colour
    // pages; the pixels take the page's kind.
    const cups_cspace_t space = options->header.cupsColorSpace;
    const int depth = space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW || space == CUPS_CSPACE_K ? 1 : 3;
    std::vector<std::uint8_t> pixels;
    std::uint32_t width = 0, height = 0;
    try {
        const std::unique_ptr<pages::ImageSource> image = pages::openImage(file);
        width = image->width(), height = image->height();
        if (static_cast<int>(width) > maxWidth || static_cast<int>(height) > maxHeight)
            throw PageError("the " + kind + " image of " + std::to_string(width) + " x " + std::to_string(height) +
                            " pixels is larger than the printer takes (" + std::to_string(maxWidth) + " x " +
                            std::to_string(maxHeight) + ")");
        const bool cmyk = image->pixels() == pages::SourcePixels::cmyk;
        const size_t sourceBytes = size_t{width} * (cmyk ? 4 : 3);
        std::vector<std::uint8_t> row(sourceBytes);
        pixels.resize(size_t{width} * height * depth);
        for (std::uint32_t y = 0; y < height; ++y) {
            image->readRows(row);
            std::uint8_t* out = pixels.data() + size_t{y} * width * depth;
            for (std::uint32_t x = 0; x < width; ++x) {
                std::uint32_t red, green, blue;
                if (cmyk) {
                    // The inks as they would darken paper, for PAPPL's RGB page.
                    const std::uint8_t* p = &row[x * 4];
                    red = (255 - p[0]) * (255 - p[3]) / 255;
                    green = (255 - p[1]) * (255 - p[3]) / 255;
                    blue = (255 - p[2]) * (255 - p[3]) / 255;
                } else {
                    const std::uint8_t* p = &row[x * 3];  // blue, green, red
                    red = p[2], green = p[1], blue = p[0];
                }
                if (depth == 1) {
                    out[x] = static_cast<std::uint8_t>((30 * red + 59 * green + 11 * blue + 50) / 100);
                } else {
                    out[x * 3] = static_cast<std::uint8_t>(red);
                    out[x * 3 + 1] = static_cast<std::uint8_t>(green);
                    out[x * 3 + 2] = static_cast<std::uint8_t>(blue);
                }
            }
        }
    } catch (const PageError& error) {
        // The spool file's name means nothing to the client.
        std::string message = error.what();
        const std::string prefix = std::string(file) + ": ";
        if (message.rfind(prefix, 0) == 0)
            message = "the " + kind + " document is damaged: " + message.substr(prefix.size());
        const bool tooLarge = message.find("larger than the printer takes") != std::string::npos;
        reportJobFailure(job, message,
                         tooLarge ? PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR : PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
        return false;
    } catch (const std::bad_alloc&) {
        reportJobFailure(job, "the " + kind + " image is too large to hold in memory",
                         PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
        return false;
    }
    // PAPPL smooths JPEG photos when it scales them and keeps PNG pixels
    // sharp; so does this.
    return papplJobFilterImage(job, device, options.get(), pixels.data(), static_cast<int>(width),
                               static_cast<int>(height), depth, facts.pixelsPerInch, kind == "JPEG");
}

}  // namespace huecl::app
