#include "platform/dispatch/ProcessExit.h"

#include "platform/dispatch/DispatchInternal.h"
#include "platform/dispatch/WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace plat {

namespace {

std::atomic<bool> ending{false};
// The process that registered the at-exit step. A child forked from it inherits the step but not
// the threads, and possibly a lock one of them held, so the step leaves such a child alone.
std::atomic<pid_t> registeringProcess{0};

struct EndState {
    std::mutex mutex;
    std::optional<bool> answer;
};

EndState& endState() {
    static auto* state = new EndState;
    return *state;
}

void endBackgroundWorkAtExit() {
    if (::getpid() == registeringProcess.load()) endBackgroundWork();
}

} // namespace

bool endBackgroundWork(Duration limit) {
    EndState& state = endState();
    std::lock_guard lock(state.mutex);
    if (state.answer) return *state.answer;
    const TimePoint deadline = Clock::system().now() + std::clamp(limit, Duration::zero(), maxDuration());
    ending.store(true);
    detail::stopSystemScheduler();
    const size_t running = detail::WorkerPool::shared().drainAndClose(deadline);
    if (running > 0) {
        std::fprintf(stderr,
                     "plat::dispatch: the process ends while %zu block(s) still run on worker threads\n",
                     running);
        std::fflush(stderr);
    }
    state.answer = running == 0;
    return *state.answer;
}

bool isEndingBackgroundWork() {
    return ending.load(std::memory_order_relaxed);
}

void detail::registerBackgroundWorkEndAtExit() {
    static std::once_flag once;
    std::call_once(once, [] {
        registeringProcess.store(::getpid());
        std::atexit(endBackgroundWorkAtExit);
    });
}

} // namespace plat
