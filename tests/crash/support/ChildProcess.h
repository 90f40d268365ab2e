// Runs a program as a child process and collects what crash tests and benchmarks need of it: its
// standard output, the signal or status it ended with, and a signal sent once it says it is ready.
#pragma once

#include <string>
#include <vector>

namespace crashtest {

struct ChildRun {
    bool started = false;
    int termSignal = 0; // the signal that ended it, 0 when it exited
    int exitStatus = -1;
    std::string output;
};

// Runs `path` with `arguments`, the current environment with `environment` ("NAME=value") put
// over it, and waits for it to end (at most `timeoutSeconds`, then it is killed). With
// `signalWhenReady`, that signal is sent once its output holds a line "ready".
ChildRun runChild(const std::string& path, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment = {}, int signalWhenReady = 0,
                  int timeoutSeconds = 60);

} // namespace crashtest
