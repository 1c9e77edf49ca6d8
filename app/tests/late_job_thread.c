// Preloaded into the printer application by one end-to-end case: the
// thread PAPPL starts for job 1 waits a second before it runs, as a busy
// machine may make it, so that a job arriving just after is started and
// runs first. The application must still print job 1 first.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdlib.h>
#include <time.h>

typedef int (*create_fn)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

struct late_start {
    void* (*routine)(void*);
    void* argument;
};

static void* start_late(void* data) {
    struct late_start start = *(struct late_start*)data;
    free(data);
    const struct timespec second = {1, 0};
    nanosleep(&second, NULL);
    return start.routine(start.argument);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*), void* argument) {
    const create_fn create = (create_fn)dlsym(RTLD_NEXT, "pthread_create");
    void* const processJob = dlsym(RTLD_DEFAULT, "_papplJobProcess");
    int (*const jobId)(void*) = (int (*)(void*))dlsym(RTLD_DEFAULT, "papplJobGetID");
    if (processJob && jobId && (void*)routine == processJob && jobId(argument) == 1) {
        struct late_start* start = malloc(sizeof *start);
        if (start) {
            start->routine = routine;
            start->argument = argument;
            const int result = create(thread, attributes, start_late, start);
            if (result) free(start);
            return result;
        }
    }
    return create(thread, attributes, routine, argument);
}
