// Gzip and zlib inflation of bytes from the network and from stored heartbeats: damaged streams
// are refused with an error, and what inflates is exactly what compressing it gives back.
#include "fuzz/FuzzSupport.h"
#include "utilities/TULGzip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plat::Error error;
    auto inflated = TULGzip::tul_dataByInflatingGzippedData(data, size, &error);
    if (!inflated || inflated->empty()) return 0;
    auto packed = TULGzip::tul_dataByGzippingData(*inflated);
    fuzz::check(packed.has_value(), "inflated bytes compress");
    auto again = TULGzip::tul_dataByInflatingGzippedData(*packed);
    fuzz::check(again == inflated, "compressed bytes inflate to themselves");
    return 0;
}
