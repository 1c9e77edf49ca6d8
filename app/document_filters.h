// The documents PAPPL hands to MIME filters rather than to the raster
// callbacks. PDF and PostScript: Ghostscript renders each page as PWG
// raster (sRGB, or sGray for monochrome) at the job's resolution onto the
// job's media, into a pipe. PWG and Apple raster that PAPPL spooled rather
// than streamed (a held job's): read from the spool file. Either way each
// page goes through the page library as a streamed raster page does, and a
// cancelled job ends the page it was on with blank paper.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

namespace huecl::app {

// The MIME filter callbacks: for application/pdf and
// application/postscript, and for image/pwg-raster and image/urf.
bool printWithGhostscript(pappl_job_t* job, pappl_device_t* device, void* data);
bool printSpooledRaster(pappl_job_t* job, pappl_device_t* device, void* data);

struct RenderRequest {
    std::string document;
    int resolutionX = 600, resolutionY = 600;
    int widthHundredthsMm = 21000, lengthHundredthsMm = 29700;
    bool grey = false;
    bool fitToPage = true;                 // print-scaling none keeps the document's own size
    unsigned firstPage = 1, lastPage = 0;  // 0: to the end
};

// Ghostscript's command line for a request.
std::vector<std::string> ghostscriptArguments(const RenderRequest& request);

}  // namespace huecl::app
