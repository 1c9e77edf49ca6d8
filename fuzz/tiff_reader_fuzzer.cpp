// The page library's TIFF reader on arbitrary bytes: whatever the file,
// the reader either gives every row of the image it announced or refuses
// the file with a PageError (damaged, truncated, over the limits); it never
// touches memory outside its buffers, nor holds more than the limits allow.
#include "page_fuzz_driver.h"
#include "pages/page_error.h"
#include "pages/readers/input_stream.h"
#include "pages/readers/tiff_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace huecl::pages;
    const page_fuzz::MemoryFile file(data, size);
    try {
        const std::unique_ptr<ImageSource> image = openTiff(openInput(file.path()), page_fuzz::fuzzLimits());
        page_fuzz::readWholeImage(*image);
    } catch (const PageError&) {
        // A refused file: the answer for most inputs.
    }
    return 0;
}
