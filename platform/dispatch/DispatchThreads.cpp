// Thread hooks and the table of running queue labels. The table is a fixed array so that crash-time
// readers can scan it without locks: a thread claims one record (its id) the first time it runs a
// queue's block and gives it back when it ends; the label pointer changes as blocks start and end.
#include "platform/dispatch/DispatchThreads.h"

#include "platform/dispatch/DispatchInternal.h"

#include <atomic>
#include <unistd.h>

namespace plat {

namespace {

struct LabelRecord {
    std::atomic<pid_t> tid{0};
    std::atomic<const char*> label{nullptr};
};

// More than the worker pool's cap, the scheduler thread and the main thread together.
constexpr size_t kLabelRecords = 512;
LabelRecord labelRecords[kLabelRecords];

std::atomic<void (*)()> startedHook{nullptr};
std::atomic<void (*)()> finishedHook{nullptr};
std::atomic<unsigned> hooksGeneration{1};

// The calling thread's record, claimed on first use and released when the thread ends.
class ThreadLabel {
public:
    ~ThreadLabel() {
        if (record_ == nullptr) return;
        record_->label.store(nullptr);
        record_->tid.store(0);
    }
    void set(const char* label) {
        if (record_ == nullptr && label == nullptr) return;
        if (record_ == nullptr) claim();
        if (record_ != nullptr) record_->label.store(label);
    }

private:
    void claim() {
        const pid_t self = gettid();
        for (LabelRecord& record : labelRecords) {
            pid_t expected = 0;
            if (record.tid.compare_exchange_strong(expected, self)) {
                record_ = &record;
                return;
            }
        }
    }
    LabelRecord* record_ = nullptr;
};

ThreadLabel& threadLabel() {
    thread_local ThreadLabel label;
    return label;
}

// Per dispatch thread: which hook generation it has seen and the `finished` hook it owes.
struct ThreadHookState {
    unsigned generation = 0;
    void (*finished)() = nullptr;
};
thread_local ThreadHookState threadHookState;

} // namespace

void setDispatchThreadHooks(const DispatchThreadHooks& hooks) {
    startedHook.store(hooks.started);
    finishedHook.store(hooks.finished);
    hooksGeneration.fetch_add(1);
}

const char* dispatchQueueLabelOfThread(pid_t tid) {
    if (tid <= 0) return nullptr;
    for (const LabelRecord& record : labelRecords)
        if (record.tid.load(std::memory_order_acquire) == tid)
            return record.label.load(std::memory_order_acquire);
    return nullptr;
}

namespace detail {

void publishCurrentQueueLabel() {
    const QueueStack& stack = currentQueueStack();
    threadLabel().set(stack.empty() ? nullptr : queueLabel(stack.back()));
}

void dispatchThreadRefreshHooks() {
    ThreadHookState& state = threadHookState;
    const unsigned generation = hooksGeneration.load();
    if (state.generation == generation) return;
    state.generation = generation;
    void (*started)() = startedHook.load();
    if (started == nullptr) return;
    started();
    state.finished = finishedHook.load();
}

void dispatchThreadEnded() {
    if (threadHookState.finished != nullptr) threadHookState.finished();
    threadHookState = {};
}

} // namespace detail

} // namespace plat
