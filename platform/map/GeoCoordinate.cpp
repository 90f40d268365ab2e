#include "platform/map/GeoCoordinate.h"

#include <cmath>

namespace plat::map {

std::optional<GeoCoordinate> GeoCoordinate::make(double latitude, double longitude) {
    if (!std::isfinite(latitude) || !std::isfinite(longitude)) return std::nullopt;
    return GeoCoordinate{latitude, longitude};
}

bool GeoCoordinate::isFinite() const {
    return std::isfinite(latitude) && std::isfinite(longitude);
}

bool GeoCoordinate::isValid() const {
    return isFinite() && latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0;
}

bool GeoSpan::isValid() const {
    return std::isfinite(latitudeDelta) && std::isfinite(longitudeDelta) && latitudeDelta >= 0 &&
           longitudeDelta >= 0;
}

} // namespace plat::map
