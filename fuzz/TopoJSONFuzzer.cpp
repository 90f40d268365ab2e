// Map data: a topology that yields polygons yields closed rings of valid coordinates.
#include "fuzz/FuzzSupport.h"
#include "platform/map/TopoJSON.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plat::Error error;
    auto polygons = plat::map::TopoJSON::polygons(fuzz::text(data, size), "", &error);
    if (!polygons) return 0;
    for (const auto& polygon : *polygons) {
        for (const auto& ring : polygon.rings) {
            fuzz::check(ring.size() >= 4, "a ring has at least four points");
            for (const auto& point : ring) {
                fuzz::check(std::fabs(point.latitude) <= 90 && std::fabs(point.longitude) <= 180,
                            "coordinates are on the globe");
            }
        }
    }
    return 0;
}
