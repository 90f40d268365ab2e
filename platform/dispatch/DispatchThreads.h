// What other layers may learn about the threads of the dispatch layer without taking part in it:
// hooks that run on every thread the layer starts, and, for crash reports, the label of the queue
// whose block a thread is running.
#pragma once

#include <sys/types.h>

namespace plat {

// `started` runs on each thread the dispatch layer starts, before its first block; threads that
// were already running when the hooks were set call it before their next block. `finished` runs on
// such a thread just before it ends (only when `started` ran there). Either may be none.
struct DispatchThreadHooks {
    void (*started)() = nullptr;
    void (*finished)() = nullptr;
};
// Replaces the hooks; threads started before keep the `finished` hook they started with.
void setDispatchThreadHooks(const DispatchThreadHooks& hooks);

// The label of the queue whose block the thread `tid` is running (the innermost one while a sync
// nests), or none. No lock, no allocation, callable inside a signal handler. The text belongs to
// the queue and may stop being valid once that thread moves on, so a reader at crash time, with
// the thread stopped, copies it through a safe read.
const char* dispatchQueueLabelOfThread(pid_t tid);

} // namespace plat
