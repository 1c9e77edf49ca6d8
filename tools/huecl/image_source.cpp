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
    InputStream input = openInput(path);
    const std::vector<uint8_t> signature = peekInput(input, 8);
    if (signature.size() == 8 && png_sig_cmp(signature.data(), 0, signature.size()) == 0)
        return openPng(std::move(input));
    if (signature.size() >= 2 && signature[0] == 'P' && (signature[1] == '5' || signature[1] == '6'))
        return openPnm(std::move(input));
    throw ToolError(input.name + ": not a PNG, PPM or PGM image");
}

} // namespace huecl::tool
