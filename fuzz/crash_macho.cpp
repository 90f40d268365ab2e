// Mach-O and fat files: slices, load commands, per-command readers and section lookup.
#include "tests/crash/support/ParserExercises.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    crashtest::exerciseMachO(data, size);
    return 0;
}
