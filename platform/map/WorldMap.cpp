#include "platform/map/WorldMap.h"

#include "platform/foundation/Bundle.h"
#include "platform/log/OSLog.h"
#include "platform/map/MapCamera.h"
#include "platform/map/MarkerLayer.h"
#include "platform/map/MercatorProjection.h"
#include "platform/map/TopoJSON.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace plat::map {

namespace {

const OSLog& mapLog() {
    static const OSLog* log = new OSLog("io.velmora.mac", "WorldMap");
    return *log;
}

std::optional<std::string> readFile(const std::filesystem::path& file, Error* error) {
    auto failure = [&](const std::string& message) -> std::optional<std::string> {
        *error = Error::withMessage(TopoJSON::kErrorDomain, TopoJSON::InvalidDocument, message);
        return std::nullopt;
    };
    if (file.empty()) return failure("Map data: the land file is not in the bundle");
    std::error_code ec;
    uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) return failure("Map data: cannot read " + file.string());
    if (size > WorldMap::kMaxFileSize) return failure("Map data: " + file.string() + " is too large");
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return failure("Map data: cannot read " + file.string());
    return bytes;
}

} // namespace

WorldMap& WorldMap::shared() {
    static WorldMap* map = [] {
        auto file = Bundle::main().pathForResource(kResourceName, "json");
        return new WorldMap(file.value_or(std::filesystem::path()));
    }();
    return *map;
}

WorldMap::WorldMap(std::filesystem::path file) : source_{std::move(file), std::nullopt} {}

WorldMap::WorldMap(Source source) : source_(std::move(source)) {}

std::unique_ptr<WorldMap> WorldMap::withJSON(std::string json) {
    return std::unique_ptr<WorldMap>(new WorldMap(Source{{}, std::move(json)}));
}

void WorldMap::load() const {
    std::call_once(once_, [this] {
        Error error;
        std::optional<std::string> bytes = source_.json ? source_.json : readFile(source_.file, &error);
        std::optional<std::vector<GeoPolygon>> polygons;
        if (bytes) {
            polygons = TopoJSON::polygons(*bytes, kObjectName, &error);
            if (!polygons && error.code == TopoJSON::ObjectNotFound)
                polygons = TopoJSON::polygons(*bytes, "", &error);
        }
        if (!polygons) {
            error_ = error;
            mapLog().error(error.localizedDescription());
            return;
        }
        shapes_.reserve(polygons->size());
        for (const GeoPolygon& polygon : *polygons) {
            LandShape shape = LandShape::fromPolygon(polygon);
            if (!shape.rings.empty()) shapes_.push_back(std::move(shape));
        }
    });
}

const std::vector<LandShape>& WorldMap::shapes() const {
    load();
    return shapes_;
}

std::optional<Error> WorldMap::loadError() const {
    load();
    return error_;
}

bool WorldMap::isLand(GeoCoordinate coordinate) const {
    auto p = MercatorProjection::project(coordinate);
    if (!p) return false;
    const auto& all = shapes();
    return std::any_of(all.begin(), all.end(), [&](const LandShape& shape) { return shape.contains(*p); });
}

MapDrawList WorldMap::drawCommands(const MapViewport& viewport, const std::vector<MapMarker>& markers,
                                   std::optional<int64_t> selected, const MapStyle& style) const {
    MapDrawList list;
    list.viewSize = viewport.viewSize();
    list.style = style;
    if (viewport.isEmpty()) return list;
    list.markers = MarkerLayer::place(markers, viewport, selected);

    const WorldRect& visible = viewport.visibleRect();
    const double scale = viewport.scale();
    const double margin = kClipMargin / scale;
    const double w = list.viewSize.width, h = list.viewSize.height;
    for (const LandShape& shape : shapes()) {
        if (shape.maxY < visible.minY() - margin || shape.minY > visible.maxY() + margin) continue;
        // Every whole-world shift k that brings the shape into the view's horizontal range.
        double firstShift = std::ceil(visible.minX() - margin - shape.maxX);
        double lastShift = std::floor(visible.maxX() + margin - shape.minX);
        for (double k = firstShift; k <= lastShift; k += 1) {
            double originX = visible.minX() - k, originY = visible.minY();
            double left = (shape.minX - originX) * scale, right = (shape.maxX - originX) * scale;
            double top = (shape.minY - originY) * scale, bottom = (shape.maxY - originY) * scale;
            bool needsClip = left < -kClipMargin || right > w + kClipMargin || top < -kClipMargin ||
                             bottom > h + kClipMargin;
            MapShape out;
            for (const MapRing& ring : shape.rings) {
                MapRing view;
                view.reserve(ring.size());
                for (const Point& p : ring)
                    view.push_back({(p.x - originX) * scale, (p.y - originY) * scale});
                if (needsClip)
                    view =
                        RingClipper::clip(view, -kClipMargin, -kClipMargin, w + kClipMargin, h + kClipMargin);
                if (view.size() >= 3) out.rings.push_back(std::move(view));
            }
            if (!out.rings.empty()) list.land.push_back(std::move(out));
        }
    }
    return list;
}

MapDrawList WorldMap::drawCommands(const MapCamera& camera, const std::vector<MapMarker>& markers,
                                   std::optional<int64_t> selected, const MapStyle& style) const {
    return drawCommands(camera.viewport(), markers, selected, style);
}

} // namespace plat::map
