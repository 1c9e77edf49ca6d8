#include "printer_turn.h"

#include "job_printer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace huecl::app {
namespace {

struct Turns {
    int active = 0;                // the job whose turn it is
    std::thread::id activeThread;  // the thread that took it
    int depth = 0;                 // its turns taken again
    pappl_device_t* activeDevice = nullptr;
    // One entry per thread waiting: PAPPL 1.3 may start one job on two
    // threads when two releases come at once.
    std::multiset<int> waiting;
    // Jobs that had their turn and are still in processing: a second
    // thread of one of them prints nothing.
    std::set<int> ended;
};

std::mutex turnsMutex;
std::condition_variable turnEnded;
std::map<int, Turns> turnsByPrinter;

// The printer's other jobs as one look at its active jobs sees them.
struct OtherJobs {
    int self;
    // Begun by PAPPL, whether on the device or still waiting for their turn.
    std::vector<int> processing;
    // An older job still pending. PAPPL 1.3 starts a job on a thread that
    // marks it processing only once it runs, and two jobs arriving together
    // at an idle printer can both be started so: an older job pending when
    // a younger one takes its turn may be one whose thread has yet to run,
    // and the younger waits for it a while. PAPPL starts no job while this
    // one is processing, so the wait is bounded.
    bool olderPending = false;
};

void lookAtOtherJob(pappl_job_t* job, void* data) {
    auto* jobs = static_cast<OtherJobs*>(data);
    const int id = papplJobGetID(job);
    if (id == jobs->self) return;
    const ipp_jstate_t state = papplJobGetState(job);
    if (state == IPP_JSTATE_PROCESSING) jobs->processing.push_back(id);
    if (state == IPP_JSTATE_PENDING && id < jobs->self) jobs->olderPending = true;
}

OtherJobs otherJobs(pappl_printer_t* printer, int self) {
    OtherJobs jobs{self, {}};
    papplPrinterIterateActiveJobs(printer, lookAtOtherJob, &jobs, 1, 0);
    return jobs;
}

constexpr auto olderJobStartWait = std::chrono::seconds(2);

void logDeviceError(const char* message, void* data) {
    papplLogJob(static_cast<pappl_job_t*>(data), PAPPL_LOGLEVEL_ERROR, "%s", message);
}

}  // namespace

PrinterTurn::PrinterTurn(pappl_job_t* job, pappl_device_t* given) : job_(job), given_(given) {
    pappl_printer_t* printer = papplJobGetPrinter(job);
    printerId_ = papplPrinterGetID(printer);
    jobId_ = papplJobGetID(job);
    bool waited = false;
    {
        std::unique_lock lock(turnsMutex);
        Turns& turns = turnsByPrinter[printerId_];
        if (turns.active == jobId_ && turns.activeThread == std::this_thread::get_id()) {
            ++turns.depth;
            nested_ = true;
            given_ = turns.activeDevice;
            return;
        }
    }
    // Takes the turn, oldest waiting job first; false if the job was
    // cancelled meanwhile or printed on another thread already.
    const auto takeTurn = [&] {
        std::unique_lock lock(turnsMutex);
        Turns& turns = turnsByPrinter[printerId_];
        turns.waiting.insert(jobId_);
        while (turns.active != 0 || *turns.waiting.begin() != jobId_) {
            waited = true;
            turnEnded.wait_for(lock, std::chrono::milliseconds(100));
            if (papplJobIsCanceled(job_)) {
                turns.waiting.erase(turns.waiting.find(jobId_));
                turnEnded.notify_all();
                return false;
            }
        }
        turns.waiting.erase(turns.waiting.find(jobId_));
        if (turns.ended.contains(jobId_)) {
            turnEnded.notify_all();
            return false;
        }
        turns.active = jobId_;
        turns.activeThread = std::this_thread::get_id();
        turns.depth = 1;
        return true;
    };
    // Started beside a job still on the device: that job's end closes it,
    // so this one waits for it. Jobs waiting for their turn are in
    // processing too but hold nothing, and wait for this job in turn:
    // waiting for them would wait for ever. An older one of them came late
    // to the queue and gets the turn first. Their end, should they be
    // cancelled, closes PAPPL's device all the same, so a job that started
    // beside any other prints through a device of its own.
    const auto olderStartDeadline = std::chrono::steady_clock::now() + olderJobStartWait;
    for (bool turnTaken = false; !turnTaken;) {
        if (!takeTurn()) {
            cancelled_ = true;
            return;
        }
        turnTaken = true;
        for (;;) {
            if (papplJobIsCanceled(job)) break;
            const OtherJobs jobs = otherJobs(printer, jobId_);
            const std::vector<int>& others = jobs.processing;
            if (others.empty()) {
                if (std::chrono::steady_clock::now() >= olderStartDeadline || !jobs.olderPending) break;
                waited = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            waited = true;
            bool onDevice = false, olderWaiting = false;
            {
                std::lock_guard lock(turnsMutex);
                Turns& turns = turnsByPrinter[printerId_];
                for (const int other : others) {
                    const bool waiting = turns.waiting.contains(other);
                    onDevice = onDevice || !waiting;
                    olderWaiting = olderWaiting || (waiting && other < jobId_);
                }
                if (!onDevice && olderWaiting) {
                    turns.active = 0;
                    turns.activeDevice = nullptr;
                    turnTaken = false;
                    turnEnded.notify_all();
                    break;
                }
            }
            if (!onDevice) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (waited) own_ = papplDeviceOpen(papplPrinterGetDeviceURI(printer), papplJobGetName(job), logDeviceError, job);
    std::lock_guard lock(turnsMutex);
    turnsByPrinter[printerId_].activeDevice = device();
}

PrinterTurn::~PrinterTurn() {
    if (cancelled_) return;
    // Only the jobs still in processing can have a second thread to come.
    const std::vector<int> processing = otherJobs(papplJobGetPrinter(job_), jobId_).processing;
    {
        std::lock_guard lock(turnsMutex);
        Turns& turns = turnsByPrinter[printerId_];
        if (nested_ || --turns.depth > 0) {
            if (nested_) --turns.depth;
            return;
        }
        turns.active = 0;
        turns.activeDevice = nullptr;
        std::erase_if(turns.ended,
                      [&](int id) { return std::find(processing.begin(), processing.end(), id) == processing.end(); });
        turns.ended.insert(jobId_);
    }
    if (own_) papplDeviceClose(own_);
    turnEnded.notify_all();
}

FilterTurn::FilterTurn(pappl_job_t* job, pappl_device_t* given) : job_(job), turn_(job, given) {
    if (turn_.cancelled()) return;
    releaseHeldJobs(papplJobGetPrinter(job));
    end_.emplace(job);
}

pappl_device_t* FilterTurn::device() const {
    pappl_device_t* device = turn_.device();
    if (!device) reportJobFailure(job_, "the printer's device cannot be opened", PAPPL_JREASON_ABORTED_BY_SYSTEM);
    return device;
}

}  // namespace huecl::app
