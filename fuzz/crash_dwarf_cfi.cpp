// DWARF call-frame information: the first byte chooses between an eh_frame section (CIE and FDE
// records, their instructions and the register rules they produce, and the eh_frame_hdr table)
// and a single DWARF expression.
#include "tests/crash/support/ParserExercises.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        crashtest::exerciseExpression(data + 1, size - 1);
    } else {
        crashtest::exerciseEhFrame(data + 1, size - 1);
    }
    return 0;
}
