// Geographic coordinates in degrees (WGS 84 latitude and longitude) and spans of them.
#pragma once

#include <optional>

namespace plat::map {

struct GeoCoordinate {
    double latitude = 0;
    double longitude = 0;
    bool operator==(const GeoCoordinate&) const = default;

    // A coordinate from two values; none when either is NaN or infinite. Range is not checked:
    // engine functions clamp latitude and wrap longitude themselves.
    static std::optional<GeoCoordinate> make(double latitude, double longitude);
    // The usual validity test for a place on the globe: both finite, latitude within ±90 and
    // longitude within ±180 (both ends included).
    bool isValid() const;
    // Both values finite.
    bool isFinite() const;
};

// The height and width of an area in degrees of latitude and longitude.
struct GeoSpan {
    double latitudeDelta = 0;
    double longitudeDelta = 0;
    bool operator==(const GeoSpan&) const = default;
    // Both deltas finite and not negative.
    bool isValid() const;
};

// The mean length of one degree of latitude in metres (a meridian degree on the WGS 84 sphere
// approximation used for distance-based regions).
inline constexpr double kMetersPerDegreeLatitude = 111'319.490793;

} // namespace plat::map
