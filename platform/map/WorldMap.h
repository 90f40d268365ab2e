// The world's land outlines and the draw lists built from them. The outlines come from a TopoJSON
// file (the bundle's "land-110m.json" for the shared map), read once on first use, projected into
// the unit square and kept for the life of the object. After loading the data never changes, so
// every method is safe to call from any thread.
#pragma once

#include "platform/map/LandShape.h"
#include "platform/map/MapDrawList.h"
#include "platform/map/MapMarker.h"
#include "platform/map/MapViewport.h"
#include "platform/object/Error.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace plat::map {

class MapCamera;

class WorldMap {
public:
    static constexpr const char* kResourceName = "land-110m";
    static constexpr const char* kObjectName = "land";
    // Files larger than this are refused rather than read into memory.
    static constexpr uintmax_t kMaxFileSize = 64u << 20;

    // The map from the main bundle's land file; never destroyed.
    static WorldMap& shared();
    // A map read lazily from `file` (object "land", or every object when the file has none).
    explicit WorldMap(std::filesystem::path file);
    // A map from TopoJSON text already in memory (decoded on first use, like a file).
    static std::unique_ptr<WorldMap> withJSON(std::string json);
    WorldMap(const WorldMap&) = delete;
    WorldMap& operator=(const WorldMap&) = delete;

    // The land, loading it first if needed; empty when the data could not be read.
    const std::vector<LandShape>& shapes() const;
    // Why loading failed; none when it worked (or has not been tried: this loads first).
    std::optional<Error> loadError() const;
    // Whether a coordinate lies on land as drawn (outline inside, holes out). False for non-finite
    // coordinates.
    bool isLand(GeoCoordinate coordinate) const;

    // The frame for `viewport`: every land polygon that reaches into the view, repeated for each
    // copy of the world the view shows, clipped to a few pixels beyond the view, plus `markers`
    // placed by MarkerLayer (with `selected` on top). Empty land when the viewport is empty or the
    // data failed to load.
    MapDrawList drawCommands(const MapViewport& viewport, const std::vector<MapMarker>& markers = {},
                             std::optional<int64_t> selected = std::nullopt,
                             const MapStyle& style = {}) const;
    // The same for the camera's current viewport.
    MapDrawList drawCommands(const MapCamera& camera, const std::vector<MapMarker>& markers = {},
                             std::optional<int64_t> selected = std::nullopt,
                             const MapStyle& style = {}) const;

    // How far beyond the view edges land is kept, in pixels, so coastline strokes along the
    // clip edges stay out of sight.
    static constexpr double kClipMargin = 8.0;

private:
    struct Source {
        std::filesystem::path file;
        std::optional<std::string> json;
    };
    explicit WorldMap(Source source);
    void load() const;

    Source source_;
    mutable std::once_flag once_;
    mutable std::vector<LandShape> shapes_;
    mutable std::optional<Error> error_;
};

} // namespace plat::map
