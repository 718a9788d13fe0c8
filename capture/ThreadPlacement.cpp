#include "capture/ThreadPlacement.h"

#include <pthread.h>
#include <sched.h>

void LetThreadUseEveryProcessor()
{
    // Every processor: the system narrows the set to those the process may use.
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        CPU_SET(cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}
