#include "platform/map/CoordinateRegion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace plat::map {

CoordinateRegion CoordinateRegion::world() {
    return CoordinateRegion{{0, 0}, {180.0, 360.0}};
}

CoordinateRegion CoordinateRegion::makeWithDistance(GeoCoordinate center, double latitudinalMeters,
                                                    double longitudinalMeters) {
    auto sane = [](double meters) { return std::isfinite(meters) && meters > 0 ? meters : 0.0; };
    double latDelta = std::min(180.0, sane(latitudinalMeters) / kMetersPerDegreeLatitude);
    // A degree of longitude shrinks with the cosine of the latitude; at the poles it vanishes and
    // any distance covers every longitude.
    double cosine = std::isfinite(center.latitude)
                        ? std::cos(std::clamp(center.latitude, -90.0, 90.0) * std::numbers::pi / 180.0)
                        : 0.0;
    double lonMeters = sane(longitudinalMeters);
    double lonDelta = 0;
    if (lonMeters > 0) {
        double perDegree = kMetersPerDegreeLatitude * std::max(cosine, 0.0);
        lonDelta = perDegree > 1e-9 ? std::min(360.0, lonMeters / perDegree) : 360.0;
    }
    return CoordinateRegion{center, {latDelta, lonDelta}};
}

} // namespace plat::map
