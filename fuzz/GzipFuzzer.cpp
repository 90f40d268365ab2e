// Gzip and zlib inflation of bytes from the network and from stored heartbeats: damaged streams
// are refused with an error, and what inflates is exactly what compressing it gives back.
#include "fuzz/FuzzSupport.h"
#include "utilities/TULGzip.h"

namespace {
// Large enough for everything the application inflates, small enough that a bomb stays cheap.
constexpr size_t kLimit = 1 << 20;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plat::Error error;
    auto inflated = TULGzip::tul_dataByInflatingGzippedData(data, size, kLimit, &error);
    if (!inflated || inflated->empty()) return 0;
    fuzz::check(inflated->size() <= kLimit, "inflation keeps to the limit");
    auto packed = TULGzip::tul_dataByGzippingData(*inflated);
    fuzz::check(packed.has_value(), "inflated bytes compress");
    auto again = TULGzip::tul_dataByInflatingGzippedData(*packed, kLimit);
    fuzz::check(again == inflated, "compressed bytes inflate to themselves");
    return 0;
}
