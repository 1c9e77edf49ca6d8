// The JPEG reader over libjpeg-turbo, its colour spaces and its error
// handling.
#include "pages/readers/jpeg_image.h"

#include "pages/page_error.h"
#include "pages/readers/image_orientation.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <jerror.h>
#include <libexif/exif-data.h>

namespace huecl::pages {
namespace {

// libjpeg reports errors through error_exit, which must not return. It
// jumps back to the one of the small functions below that made the failing
// call; they set the jump point and hold no C++ object with a destructor,
// so the jump never skips one. The message waits here and becomes a
// PageError afterwards.
struct JpegErrors {
    jpeg_error_mgr manager;  // first, so that libjpeg's pointer to it is ours too
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = "";
    int code = 0;
};

[[noreturn]] void failJpeg(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    errors->code = errors->manager.msg_code;
    errors->manager.format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// libjpeg only warns where pixels are lost: a file that ends early decodes
// with a grey tail, a damaged entropy segment with smeared blocks. Those
// warnings fail the read; harmless ones (stray bytes between markers, an
// unknown JFIF revision) are let pass.
void judgeJpegMessage(j_common_ptr info, int level) {
    if (level >= 0) return;  // trace messages
    switch (info->err->msg_code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL:
        case JWRN_BOGUS_PROGRESSION: failJpeg(info);
        default: ++info->err->num_warnings;
    }
}

bool createJpegDecoder(j_decompress_ptr info, JpegErrors& errors) {
    if (setjmp(errors.jump)) return false;
    jpeg_create_decompress(info);
    return true;
}

bool readJpegHeader(j_decompress_ptr info, JpegErrors& errors, std::FILE* file) {
    if (setjmp(errors.jump)) return false;
    jpeg_stdio_src(info, file);
    // The EXIF block, for the orientation the camera recorded.
    jpeg_save_markers(info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(info, TRUE);
    return true;
}

bool startJpegDecoding(j_decompress_ptr info, JpegErrors& errors) {
    if (setjmp(errors.jump)) return false;
    jpeg_start_decompress(info);
    return true;
}

bool readJpegRows(j_decompress_ptr info, JpegErrors& errors, JSAMPARRAY rows, JDIMENSION count) {
    if (setjmp(errors.jump)) return false;
    // The file source never suspends: each call yields at least one row.
    for (JDIMENSION done = 0; done < count;) done += jpeg_read_scanlines(info, rows + done, count - done);
    return true;
}

// The orientation in the file's EXIF block (APP1 "Exif"), read by libexif;
// 1 (as stored) where there is none.
std::uint16_t exifOrientation(const jpeg_decompress_struct& info) {
    static constexpr unsigned char exifSignature[] = {'E', 'x', 'i', 'f', 0, 0};
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1 || marker->data_length < sizeof exifSignature ||
            std::memcmp(marker->data, exifSignature, sizeof exifSignature) != 0)
            continue;
        ExifData* exif = exif_data_new_from_data(marker->data, marker->data_length);
        if (!exif) continue;
        std::uint16_t orientation = 1;
        if (ExifEntry* entry = exif_data_get_entry(exif, EXIF_TAG_ORIENTATION);
            entry && entry->format == EXIF_FORMAT_SHORT && entry->components == 1 && entry->size >= 2)
            orientation = exif_get_short(entry->data, exif_data_get_byte_order(exif));
        exif_data_unref(exif);
        return orientation;
    }
    return 1;
}

// Owns libjpeg's decoder, so that a throwing constructor frees it.
struct JpegDecoder {
    jpeg_decompress_struct info{};
    bool created = false;
    ~JpegDecoder() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

class JpegSource final : public ImageSource {
public:
    JpegSource(InputStream input, const ImageLimits& limits)
        : name_(std::move(input.name)), file_(std::move(input.file)) {
        info_.err = jpeg_std_error(&errors_.manager);
        errors_.manager.error_exit = failJpeg;
        errors_.manager.emit_message = judgeJpegMessage;
        if (!createJpegDecoder(&info_, errors_)) fail();
        decoder_.created = true;
        if (!readJpegHeader(&info_, errors_, file_.get())) fail();
        checkImageSize(name_, info_.image_width, info_.image_height, limits);
        orientation_ = exifOrientation(info_);
        switch (info_.jpeg_color_space) {
            case JCS_GRAYSCALE:
            case JCS_YCbCr:
            case JCS_RGB:
                info_.out_color_space = JCS_EXT_BGR;
                pixels_ = SourcePixels::bgr;
                break;
            case JCS_CMYK:
            case JCS_YCCK:
                info_.out_color_space = JCS_CMYK;
                pixels_ = SourcePixels::cmyk;
                // Adobe's programs write CMYK with 0 as full ink and mark such
                // files with their APP14 marker.
                inverted_ = info_.saw_Adobe_marker;
                break;
            default:
                throw PageError(name_ + ": JPEG of " + std::to_string(info_.num_components) +
                                " components in an unknown colour space is not supported");
        }
        // A progressive or multi-scan file is held whole as coefficients;
        // libjpeg refuses (it has no backing store) beyond this.
        info_.mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(limits.memoryBytes, LONG_MAX));
        memoryLimit_ = limits.memoryBytes;
        if (!startJpegDecoding(&info_, errors_)) fail();
    }

    std::uint16_t orientation() const { return orientation_; }
    std::uint32_t width() const override { return info_.output_width; }
    std::uint32_t height() const override { return info_.output_height; }
    SourcePixels pixels() const override { return pixels_; }
    std::string description() const override {
        return name_ + (pixels_ == SourcePixels::cmyk ? " (JPEG, CMYK)" : " (JPEG)");
    }

    void readRows(std::span<std::uint8_t> rows) override {
        const size_t rowBytes = size_t{info_.output_width} * static_cast<std::uint32_t>(pixels_);
        const auto count = static_cast<JDIMENSION>(rows.size() / rowBytes);
        if (count == 0) return;
        if (info_.output_scanline + count > info_.output_height) throw std::logic_error("JPEG rows beyond the image");
        rowPointers_.resize(count);
        for (JDIMENSION row = 0; row < count; ++row) rowPointers_[row] = rows.data() + row * rowBytes;
        if (!readJpegRows(&info_, errors_, rowPointers_.data(), count)) fail();
        if (inverted_)
            for (size_t i = 0; i < size_t{count} * rowBytes; ++i) rows[i] = static_cast<std::uint8_t>(255 - rows[i]);
    }

private:
    [[noreturn]] void fail() const {
        if (errors_.code == JERR_NO_BACKING_STORE)
            throw PageError(name_ + ": decoding this progressive or multi-scan JPEG takes more than the limit of " +
                            std::to_string(memoryLimit_ >> 20) + " MiB (--max-memory raises it)");
        // A sound file that this build of libjpeg does not decode (12 bits).
        if (errors_.code == JERR_BAD_PRECISION)
            throw PageError(name_ + ": JPEG of other than 8-bit samples is not supported (" + errors_.message + ")");
        throw PageError(name_ + ": corrupt or truncated JPEG (" + errors_.message + ")");
    }

    std::string name_;
    InputHandle file_;
    JpegErrors errors_;
    JpegDecoder decoder_;
    jpeg_decompress_struct& info_ = decoder_.info;
    SourcePixels pixels_ = SourcePixels::bgr;
    bool inverted_ = false;
    std::uint16_t orientation_ = 1;
    std::uint64_t memoryLimit_ = 0;
    std::vector<JSAMPROW> rowPointers_;
};

}  // namespace

std::unique_ptr<ImageSource> openJpeg(InputStream input, const ImageLimits& limits) {
    auto stored = std::make_unique<JpegSource>(std::move(input), limits);
    const std::uint16_t orientation = stored->orientation();
    return orientImage(std::move(stored), orientation, limits);
}

}  // namespace huecl::pages
