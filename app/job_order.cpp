#include "job_order.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace huecl::app {
namespace {

// The jobs this application holds, by printer and job id: a job a user
// holds stays held.
std::mutex heldMutex;
std::set<std::pair<int, int>> heldJobs;

struct PendingJobs {
    std::vector<int> ids;
};

// Called with the printer locked: only collects.
void collectPending(pappl_job_t* job, void* data) {
    if (papplJobGetState(job) == IPP_JSTATE_PENDING) static_cast<PendingJobs*>(data)->ids.push_back(papplJobGetID(job));
}

struct HeldJobs {
    std::vector<int> ids;
};

// A job held without a job-hold-until of its own was held for its order.
void collectHeldForOrder(pappl_job_t* job, void* data) {
    if (papplJobGetState(job) == IPP_JSTATE_HELD && !papplJobGetAttribute(job, "job-hold-until"))
        static_cast<HeldJobs*>(data)->ids.push_back(papplJobGetID(job));
}

}  // namespace

void holdYoungerJobs(pappl_job_t* ending) {
    pappl_printer_t* printer = papplJobGetPrinter(ending);
    PendingJobs pending;
    papplPrinterIterateActiveJobs(printer, collectPending, &pending, 1, 0);
    std::sort(pending.ids.begin(), pending.ids.end());
    const int printerId = papplPrinterGetID(printer);
    std::lock_guard lock(heldMutex);
    for (size_t i = 1; i < pending.ids.size(); ++i) {
        pappl_job_t* job = papplPrinterFindJob(printer, pending.ids[i]);
        if (job && papplJobHold(job, nullptr, nullptr, 0)) heldJobs.insert({printerId, pending.ids[i]});
    }
}

void releaseHeldJobs(pappl_printer_t* printer) {
    const int printerId = papplPrinterGetID(printer);
    std::vector<int> ids;
    {
        std::lock_guard lock(heldMutex);
        for (auto held = heldJobs.lower_bound({printerId, 0}); held != heldJobs.end() && held->first == printerId;)
            ids.push_back(held->second), held = heldJobs.erase(held);
    }
    // Oldest first: an idle printer starts the first one released.
    for (const int id : ids)
        if (pappl_job_t* job = papplPrinterFindJob(printer, id)) papplJobRelease(job, nullptr);
}

std::vector<pappl_printer_t*> printersOf(pappl_system_t* system) {
    // PAPPL calls back with the system locked: the printers are collected
    // first and looked up again after.
    std::vector<int> ids;
    papplSystemIteratePrinters(
        system,
        [](pappl_printer_t* printer, void* data) {
            static_cast<std::vector<int>*>(data)->push_back(papplPrinterGetID(printer));
        },
        &ids);
    std::vector<pappl_printer_t*> printers;
    for (const int id : ids)
        if (pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, id, nullptr))
            printers.push_back(printer);
    return printers;
}

void releaseStrandedJobs(pappl_system_t* system) {
    {
        std::lock_guard lock(heldMutex);
        if (heldJobs.empty()) return;
    }
    for (pappl_printer_t* printer : printersOf(system)) {
        PendingJobs pending;
        papplPrinterIterateActiveJobs(printer, collectPending, &pending, 1, 0);
        if (papplPrinterGetState(printer) != IPP_PSTATE_IDLE || !pending.ids.empty()) continue;
        // The oldest alone: an idle printer starts a job released, but only
        // marks itself busy once the job's own thread runs, so a second
        // release now would start a second job beside it. The job's start
        // releases the others.
        const int printerId = papplPrinterGetID(printer);
        int oldest = 0;
        {
            std::lock_guard lock(heldMutex);
            const auto held = heldJobs.lower_bound({printerId, 0});
            if (held == heldJobs.end() || held->first != printerId) continue;
            oldest = held->second;
            heldJobs.erase(held);
        }
        if (pappl_job_t* job = papplPrinterFindJob(printer, oldest)) papplJobRelease(job, nullptr);
    }
}

void adoptJobsHeldForOrder(pappl_system_t* system) {
    for (pappl_printer_t* printer : printersOf(system)) {
        HeldJobs held;
        papplPrinterIterateActiveJobs(printer, collectHeldForOrder, &held, 1, 0);
        if (held.ids.empty()) continue;
        {
            std::lock_guard lock(heldMutex);
            for (const int id : held.ids) heldJobs.insert({papplPrinterGetID(printer), id});
        }
        // A change of configuration, however small, has the main loop
        // call the save callback, which releases the jobs should none be
        // waiting to start.
        papplPrinterSetNextJobID(printer, papplPrinterGetNextJobID(printer));
    }
}

}  // namespace huecl::app
