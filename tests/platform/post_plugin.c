/* A stand-in plugin for the tests: it reaches the program only through the exported host API,
 * found at run time as a real plugin finds it, and posts from a thread of its own. */
#include <dlfcn.h>
#include <pthread.h>
#include <stdint.h>
#include <string.h>

#include "quillon/host_api.h"

struct Job {
    QuillonWindow window;
    uint32_t message;
    uint32_t dataMessage;
    int count;
    int accepted;
};

static void* Run(void* argument) {
    struct Job* job = (struct Job*)argument;
    QuillonPostMessageFn post = (QuillonPostMessageFn)dlsym(RTLD_DEFAULT, QUILLON_HOST_POST_MESSAGE);
    QuillonPostDataMessageFn postData =
        (QuillonPostDataMessageFn)dlsym(RTLD_DEFAULT, QUILLON_HOST_POST_DATA_MESSAGE);
    if (post == NULL || postData == NULL)
        return NULL;
    for (int i = 0; i < job->count; ++i) {
        /* The report lives on this thread's stack and is overwritten at once: the program must
         * have copied it. */
        uint8_t report[64];
        memset(report, i & 0xFF, sizeof report);
        report[0] = 0x04;
        job->accepted += post(job->window, job->message, (uintptr_t)i, -i);
        job->accepted +=
            postData(job->window, job->dataMessage, report, sizeof report, (intptr_t)sizeof report);
        memset(report, 0xEE, sizeof report);
    }
    return NULL;
}

/* Posts `count` plain messages (wParam 0, 1, ...) each followed by a 64-byte data message, from a
 * new thread; returns how many posts were accepted, or -1 when the host API was not found. */
int PostFromThread(QuillonWindow window, uint32_t message, uint32_t dataMessage, int count) {
    if (dlsym(RTLD_DEFAULT, QUILLON_HOST_POST_MESSAGE) == NULL)
        return -1;
    struct Job job = {window, message, dataMessage, count, 0};
    pthread_t thread;
    if (pthread_create(&thread, NULL, Run, &job) != 0)
        return -1;
    pthread_join(thread, NULL);
    return job.accepted;
}
