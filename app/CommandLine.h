// The command line of `velmora`, read first thing in main, before any folder, log file or network
// is touched: --help and --version are answered there, and an argument the application does not
// take is refused there (exit status 2). The options are "--tour <folder>" (read by DemoTour),
// "-h"/"--help" and "--version"; the single-dash launch switches the components read from the
// process's arguments where they use them pass through.
#pragma once

#include <optional>

class CommandLine {
public:
    // The exit status when the process ends here (the usage, the version, or a refused argument,
    // printed), none when the application is to run.
    static std::optional<int> answer(int argc, char** argv);
};
