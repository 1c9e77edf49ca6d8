#include "printer_turn.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace huecl::app {
namespace {

struct Turns {
    int active = 0;  // the job whose turn it is
    int depth = 0;   // its turns taken again
    pappl_device_t* activeDevice = nullptr;
    std::set<int> waiting;
};

std::mutex turnsMutex;
std::condition_variable turnEnded;
std::map<int, Turns> turnsByPrinter;

struct OtherProcessing {
    int self;
    bool found = false;
};

void findOtherProcessing(pappl_job_t* job, void* data) {
    auto* search = static_cast<OtherProcessing*>(data);
    if (papplJobGetID(job) != search->self && papplJobGetState(job) == IPP_JSTATE_PROCESSING) search->found = true;
}

bool anotherJobProcessing(pappl_printer_t* printer, int self) {
    OtherProcessing search{self};
    papplPrinterIterateActiveJobs(printer, findOtherProcessing, &search, 1, 0);
    return search.found;
}

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
        if (turns.active == jobId_) {
            ++turns.depth;
            nested_ = true;
            given_ = turns.activeDevice;
            return;
        }
        turns.waiting.insert(jobId_);
        while (turns.active != 0 || *turns.waiting.begin() != jobId_) {
            waited = true;
            turnEnded.wait_for(lock, std::chrono::milliseconds(100));
            if (papplJobIsCanceled(job)) {
                turns.waiting.erase(jobId_);
                turnEnded.notify_all();
                cancelled_ = true;
                return;
            }
        }
        turns.waiting.erase(jobId_);
        turns.active = jobId_;
        turns.depth = 1;
    }
    // Started beside a job still on the device: that job's end closes it.
    while (anotherJobProcessing(printer, jobId_) && !papplJobIsCanceled(job)) {
        waited = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (waited) own_ = papplDeviceOpen(papplPrinterGetDeviceURI(printer), papplJobGetName(job), logDeviceError, job);
    std::lock_guard lock(turnsMutex);
    turnsByPrinter[printerId_].activeDevice = device();
}

PrinterTurn::~PrinterTurn() {
    if (cancelled_) return;
    {
        std::lock_guard lock(turnsMutex);
        Turns& turns = turnsByPrinter[printerId_];
        if (nested_ || --turns.depth > 0) {
            if (nested_) --turns.depth;
            return;
        }
        turns.active = 0;
        turns.activeDevice = nullptr;
    }
    if (own_) papplDeviceClose(own_);
    turnEnded.notify_all();
}

}  // namespace huecl::app
