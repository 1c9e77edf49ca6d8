#include "image_source.h"

#include "png_image.h"
#include "pnm_image.h"
#include "tool_error.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace huecl::tool {

std::unique_ptr<ImageSource> openImage(const std::filesystem::path &path) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        throw ToolError(path.string() + " is a folder, not a file");
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw ToolError("cannot open " + path.string() + ": " + std::strerror(errno));
    unsigned char signature[8] = {};
    const size_t got = std::fread(signature, 1, sizeof signature, file);
    std::fclose(file);
    if (got == sizeof signature && png_sig_cmp(signature, 0, sizeof signature) == 0)
        return openPng(path);
    if (got >= 2 && signature[0] == 'P' && (signature[1] == '5' || signature[1] == '6'))
        return openPnm(path);
    throw ToolError(path.string() + ": not a PNG, PPM or PGM image");
}

} // namespace huecl::tool
