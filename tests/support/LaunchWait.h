// Waiting for a launched program (the application, under a display) to reach a state, with an
// allowance that follows its progress instead of a fixed deadline. The window's creation takes well
// under two seconds on a quiet machine and minutes on a crowded core at a low priority: no single
// deadline tells the two apart from a program that is stuck. So the wait goes on while the
// program's main thread keeps using CPU time or its log keeps growing, and fails only when neither
// happened for `stall`, or after `outer`, which only a program stuck in a loop reaches. A failure
// says what the main thread was doing: its state, its CPU time, where it waits in the kernel, the
// system call it is in and the place in user space it called from, and what the program logged last.
// A check of the test's own that does not come back (it asks a display that is stuck) has the same
// told on the errors once it has been out for `stall`, rather than a silent test until its program
// is killed.
#pragma once

#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

struct LaunchPatience {
    // How long the program may go without using CPU time on its main thread or growing its log.
    std::chrono::milliseconds stall = kPatience;
    // How long the wait may take in all, progress or not: minutes, below the test program's own
    // limit (several launches share one program).
    std::chrono::milliseconds outer = std::chrono::minutes(8);
    // How often `done` is asked.
    std::chrono::milliseconds poll = std::chrono::milliseconds(50);
};

// Asks `done` until it holds while the process `pid` (a child of this process) makes progress, as
// above; `logs` are the files the program writes its output to. The failure's message names why
// the wait ended (no progress, the outer bound, the program ended) and describes the main thread
// and the logs' last lines.
::testing::AssertionResult waitForLaunch(pid_t pid, const std::function<bool()>& done,
                                         const std::vector<std::filesystem::path>& logs,
                                         const LaunchPatience& patience = {});

// What the main thread of `pid` is doing now, a few lines: its state and CPU time, the kernel's
// wait channel, the system call with its arguments and the user-space place it was made from
// (module+offset, and the function when the module's symbol table names it).
std::string describeMainThread(pid_t pid);

// The CPU time (user and system) the main thread of `pid` has used, in clock ticks; -1 when the
// process is gone.
long long mainThreadCpuTicks(pid_t pid);

} // namespace testsupport
