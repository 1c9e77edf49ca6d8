// JPEG and PNG documents. PAPPL 1.3's own decoders print a cut JPEG with a
// grey tail and loop without end on a cut PNG; this filter, which PAPPL
// finds first because it leads to the driver's format, decodes the image
// with the page library's readers instead, which refuse a damaged or
// oversized file with a reason, and then hands the pixels to PAPPL's own
// papplJobFilterImage. That places and scales the image on the page as
// print-scaling and orientation-requested ask and feeds its rows to the
// raster callbacks, as PAPPL's decoders would have.
#pragma once

#include <pappl/pappl.h>

#include <filesystem>

namespace huecl::app {

bool printImage(pappl_job_t* job, pappl_device_t* device, void* data);

// What an image's header says before it is decoded: whether it holds
// grey levels only (for print-color-mode=auto) and its resolution in
// pixels per inch (0 when it does not say; JFIF density or PNG pHYs).
struct ImageFacts {
    bool grey = false;
    int pixelsPerInch = 0;
};
ImageFacts imageFacts(const std::filesystem::path& file);

}  // namespace huecl::app
