// Ending a process without pulling anything out from under its background work. A process that
// returns from main while worker threads still run blocks has its static objects and its
// libraries' exit cleanups torn down beneath them; before that happens the dispatch layer stops its
// timers, lets long waits give up and runs what is queued to the end.
#pragma once

#include "platform/dispatch/Clock.h"

namespace plat {

// How long endBackgroundWork waits by default for the worker threads to go idle.
inline constexpr Duration kBackgroundWorkEndLimit = std::chrono::seconds(3);

// Ends the dispatch layer's background work; main calls it just before it returns. Every program
// also runs it as an at-exit step, registered when the layer starts its first thread, so it comes
// before the exit cleanups of whatever was set up earlier.
// From the call on, timers and delayed blocks no longer fire and isEndingBackgroundWork() is true,
// so network exchanges end at once; blocks already queued, and the blocks they queue, run to the
// end, and the call waits, up to `limit`, until no worker thread runs a block. After that nothing
// starts on a worker thread any more: what is queued later stays queued.
// Answers whether the workers went idle in time; when they did not, the labels of the queues still
// running are written to stderr. Later calls answer at once what the first one did. Callable from
// any thread; a block that calls it is not waited for.
bool endBackgroundWork(Duration limit = kBackgroundWorkEndLimit);

// True once endBackgroundWork has begun. Long waits on a worker (a network exchange) check it and
// give up, so that a remote service cannot hold up the end of the process.
bool isEndingBackgroundWork();

} // namespace plat
