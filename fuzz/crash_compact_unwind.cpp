// Compact unwind sections: first-level index, compressed pages, encodings and their application.
#include "tests/crash/support/ParserExercises.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    crashtest::exerciseCompactUnwind(data, size);
    return 0;
}
