// PAPPL's raster callbacks of the huecl drivers. PAPPL hands over a page
// as its rows, one call each, whether they come from a PWG or Apple raster
// stream or from a JPEG or PNG image it has scaled onto the page; the rows
// go through a bounded buffer to the band loop, which runs on a thread of
// its own and writes the page's container to the device as its bands
// finish. A page that stops short, because the job was cancelled or the
// raster was cut, is filled up with paper, so that the device always gets
// whole containers; a cut raster then fails the job.
#pragma once

#include <pappl/pappl.h>

namespace huecl::app {

bool startRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool startRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool writeRasterLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned y,
                     const unsigned char* line);
bool endRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool endRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

// Refuses a document PAPPL would send to the printer unchanged: the
// printer takes nothing but what the page library makes.
bool refuseRawDocument(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

}  // namespace huecl::app
