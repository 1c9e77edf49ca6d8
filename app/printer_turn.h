// One job at a time on a printer's device. PAPPL 1.3 starts a job on a
// thread of its own and marks the printer busy only once that thread runs,
// so jobs that arrive together at an idle printer can start side by side
// on the one device, which the first of them to finish then closes under
// the others. A job takes its turn before it prints: the jobs of a printer
// print one after the other, oldest first (a job started beside an older
// one whose thread has yet to run waits a while for it), and a job that had
// to wait, or that started while another was still on the device, prints
// through a device it opens itself.
#pragma once

#include "job_order.h"

#include <pappl/pappl.h>

#include <optional>

namespace huecl::app {

class PrinterTurn {
public:
    // Waits for the job's turn. A job that takes its turn again (PAPPL's
    // image path runs the raster callbacks within the image filter) gets
    // the same device at once.
    PrinterTurn(pappl_job_t* job, pappl_device_t* given);
    // Closes a device of its own and lets the next job have its turn.
    ~PrinterTurn();
    PrinterTurn(const PrinterTurn&) = delete;
    PrinterTurn& operator=(const PrinterTurn&) = delete;

    // Cancelled while it waited: the job prints nothing.
    bool cancelled() const { return cancelled_; }
    // Where the job prints; nullptr if a device of its own did not open.
    pappl_device_t* device() const { return own_ ? own_ : given_; }

private:
    pappl_job_t* job_;
    int printerId_ = 0, jobId_ = 0;
    pappl_device_t* given_;
    pappl_device_t* own_ = nullptr;
    bool cancelled_ = false;
    bool nested_ = false;
};

// How a filter that prints a whole document begins and ends: it takes its
// turn, lets the jobs held for their order go, and holds the younger ones
// again when it returns.
class FilterTurn {
public:
    FilterTurn(pappl_job_t* job, pappl_device_t* given);

    bool cancelled() const { return turn_.cancelled(); }
    // Where the job prints; nullptr, reported as the job's failure, if a
    // device of its own did not open.
    pappl_device_t* device() const;

private:
    pappl_job_t* job_;
    PrinterTurn turn_;
    std::optional<JobEnd> end_;  // after turn_, so that it runs first
};

}  // namespace huecl::app
