// Reads the polygons of a TopoJSON topology: shared arcs (optionally quantized and delta-encoded
// with a transform), and Polygon / MultiPolygon geometries, possibly inside GeometryCollections,
// that list the arcs of each ring (a negative index ~i means arc i reversed). Other geometry types
// are skipped. Input is untrusted: every index, coordinate and size is checked and failures come
// back as an Error, never as a crash. Pure functions; safe on any thread.
#pragma once

#include "platform/map/GeoCoordinate.h"
#include "platform/object/Error.h"

#include <optional>
#include <string_view>
#include <vector>

namespace plat::map {

// One polygon: the first ring is the outline, any further rings are holes. Every ring is closed
// (its last point repeats its first) and has at least four points.
struct GeoPolygon {
    using Ring = std::vector<GeoCoordinate>;
    std::vector<Ring> rings;
};

class TopoJSON {
public:
    static constexpr const char* kErrorDomain = "plat.map.TopoJSON";
    enum Code : int64_t {
        InvalidDocument = 1, // not JSON, or not shaped like a topology
        ArcIndexOutOfRange = 2,
        CoordinateOutOfRange = 3, // not finite, or beyond ±180° longitude / ±90° latitude
        TooLarge = 4,             // more positions than kMaxPositions, or nesting deeper than kMaxNesting
        ObjectNotFound = 5,
    };
    // Limits that keep a hostile file (for example one ring that names a large arc millions of
    // times) from exhausting memory.
    static constexpr size_t kMaxPositions = 2'000'000;
    static constexpr size_t kMaxNesting = 32;

    // The polygons of the object called `objectName` in the topology's "objects", or of every
    // object (in name order) when the name is empty. None on failure, with `error` filled in.
    static std::optional<std::vector<GeoPolygon>> polygons(std::string_view json, std::string_view objectName,
                                                           Error* error = nullptr);
};

} // namespace plat::map
