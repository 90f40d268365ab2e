#include "platform/dispatch/DispatchInternal.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace plat::detail {

void fatal(const std::string& message) {
    std::fprintf(stderr, "plat::dispatch: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

namespace {

// An exception no one caught ends the process through std::terminate while it is still the current
// exception, so that an installed terminate handler (the crash reporter's) can record its type.
[[noreturn]] void terminateUncaught(const std::string& message) {
    std::fprintf(stderr, "plat::dispatch: %s\n", message.c_str());
    std::fflush(stderr);
    std::terminate();
}

} // namespace

void runGuarded(const Block& block, const char* where, const std::string& label,
                const std::function<bool()>* handler) {
    try {
        block();
    } catch (const std::exception& e) {
        if (handler && *handler && (*handler)()) return;
        terminateUncaught(std::string("uncaught exception in ") + where + " on '" + label + "': " + e.what());
    } catch (...) {
        if (handler && *handler && (*handler)()) return;
        terminateUncaught(std::string("uncaught exception in ") + where + " on '" + label + "'");
    }
}

QueueStack& currentQueueStack() {
    thread_local QueueStack stack;
    return stack;
}

ScopedQueues::ScopedQueues(DispatchQueue::Impl* queue) : previousSize_(currentQueueStack().size()) {
    currentQueueStack().push_back(queue);
    publishCurrentQueueLabel();
}

ScopedQueues::ScopedQueues(const QueueStack& inherited, DispatchQueue::Impl* queue)
    : previousSize_(currentQueueStack().size()) {
    auto& stack = currentQueueStack();
    stack.insert(stack.end(), inherited.begin(), inherited.end());
    stack.push_back(queue);
    publishCurrentQueueLabel();
}

ScopedQueues::~ScopedQueues() {
    currentQueueStack().resize(previousSize_);
    publishCurrentQueueLabel();
}

} // namespace plat::detail
