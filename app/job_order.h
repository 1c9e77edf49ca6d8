// Jobs print in the order they came. PAPPL 1.3 keeps a printer's active
// jobs newest first and, when the printer turns free, starts the first
// pending one of them: the newest. So as a job ends the application holds
// every pending job but the oldest, leaving PAPPL that one to start, and
// releases them again once the next job has begun: then the printer is
// busy, and PAPPL starts none of them before the job ends. Should no job
// begin, as when the one left waiting is cancelled first, they are
// released once the printer is idle with nothing else waiting.
#pragma once

#include <pappl/pappl.h>

namespace huecl::app {

// As a job ends, while the printer is still busy with it.
void holdYoungerJobs(pappl_job_t* ending);
// As a job begins (the printer busy with it), or when the printer is idle.
void releaseHeldJobs(pappl_printer_t* printer);
// Releases the jobs held by printers that are idle with no pending job;
// called from the main loop, outside PAPPL's locks. A printer with a
// pending job is about to start it, and a release then would start a
// second job at the same time.
void releaseStrandedJobs(pappl_system_t* system);
// At start-up, before the system runs: takes back the jobs a previous run
// held for their order and saved so (held with no job-hold-until of their
// own), to be released as any others once the system runs.
void adoptJobsHeldForOrder(pappl_system_t* system);

// Holds younger jobs when it goes out of scope, on whatever way a job's
// processing ends.
class JobEnd {
public:
    explicit JobEnd(pappl_job_t* job) : job_(job) {}
    ~JobEnd() { holdYoungerJobs(job_); }
    JobEnd(const JobEnd&) = delete;
    JobEnd& operator=(const JobEnd&) = delete;

private:
    pappl_job_t* job_;
};

}  // namespace huecl::app
