// An area of the globe given by its centre and its span in degrees: what a map camera is asked to
// show. Regions are plain values; the camera fits and clamps them to its view.
#pragma once

#include "platform/map/GeoCoordinate.h"

namespace plat::map {

struct CoordinateRegion {
    GeoCoordinate center;
    GeoSpan span;
    bool operator==(const CoordinateRegion&) const = default;

    // The whole world as far as the projection reaches.
    static CoordinateRegion world();
    // The region centred on `center` that spans `latitudinalMeters` north to south and
    // `longitudinalMeters` east to west, measured at the centre's latitude. Spans are capped at
    // 180° and 360°; negative or non-finite distances give a zero span.
    static CoordinateRegion makeWithDistance(GeoCoordinate center, double latitudinalMeters,
                                             double longitudinalMeters);

    // A finite centre and a valid span; a camera ignores regions that fail this.
    bool isValid() const { return center.isFinite() && span.isValid(); }
};

} // namespace plat::map
