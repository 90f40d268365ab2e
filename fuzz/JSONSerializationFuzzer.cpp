// JSON text as the network delivers it: whatever parses must write back out and parse again to the
// same value.
#include "fuzz/FuzzSupport.h"
#include "platform/foundation/JSONSerialization.h"

using plat::JSONSerialization;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plat::Error error;
    plat::Object parsed =
        JSONSerialization::jsonObject(fuzz::text(data, size), JSONSerialization::ReadingNone, &error);
    if (parsed.isAbsent()) {
        fuzz::check(error.code == JSONSerialization::kParseErrorCode,
                    "a parse failure carries the parse error code");
        return 0;
    }
    auto written = JSONSerialization::data(parsed, JSONSerialization::FragmentsAllowedWriting);
    fuzz::check(written.has_value(), "a parsed value can be written");
    plat::Object again = JSONSerialization::jsonObject(*written);
    fuzz::check(!again.isAbsent(), "written JSON parses");
    // One round trip may settle a number's form (-0.0 is written "-0", which reads as the integer
    // 0); after that, writing and reading must be a fixed point.
    auto settled = JSONSerialization::data(again, JSONSerialization::FragmentsAllowedWriting);
    fuzz::check(settled.has_value(), "a reread value can be written");
    plat::Object third = JSONSerialization::jsonObject(*settled);
    fuzz::check(third == again, "a settled value reads back equal");
    fuzz::check(JSONSerialization::data(third, JSONSerialization::FragmentsAllowedWriting) == settled,
                "a settled value writes the same bytes");
    return 0;
}
