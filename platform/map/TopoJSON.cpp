#include "platform/map/TopoJSON.h"

#include "platform/foundation/JSONSerialization.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace plat::map {

namespace {

// Coordinates written with a few digits of rounding may overshoot the edges of the globe slightly.
constexpr double kEdgeTolerance = 1e-6;

struct DecodeFailure {
    TopoJSON::Code code;
    std::string message;
};

[[noreturn]] void fail(TopoJSON::Code code, std::string message) {
    throw DecodeFailure{code, std::move(message)};
}

double finiteNumber(const Object& value, const char* what) {
    const Number* number = value.asNumber();
    if (!number || number->isBool()) fail(TopoJSON::InvalidDocument, std::string(what) + " is not a number");
    double d = number->doubleValue();
    if (!std::isfinite(d)) fail(TopoJSON::CoordinateOutOfRange, std::string(what) + " is not finite");
    return d;
}

const Object::Array& arrayOf(const Object& value, const char* what) {
    const Object::Array* array = value.asArray();
    if (!array) fail(TopoJSON::InvalidDocument, std::string(what) + " is not an array");
    return *array;
}

class Decoder {
public:
    explicit Decoder(const Object& topology) { readArcs(topology); }

    void geometry(const Object& value, size_t depth, std::vector<GeoPolygon>& out) {
        if (depth > TopoJSON::kMaxNesting) fail(TopoJSON::TooLarge, "geometry collections nest too deeply");
        if (!value.isDict()) fail(TopoJSON::InvalidDocument, "a geometry is not an object");
        // A null type is an empty geometry, which topologies use for features without a shape.
        if (value["type"].isNull()) return;
        const std::string* type = value["type"].asString();
        if (!type) fail(TopoJSON::InvalidDocument, "a geometry has no type");
        if (*type == "GeometryCollection") {
            for (const Object& child : arrayOf(value["geometries"], "geometries"))
                geometry(child, depth + 1, out);
        } else if (*type == "Polygon") {
            polygon(value["arcs"], out);
        } else if (*type == "MultiPolygon") {
            for (const Object& rings : arrayOf(value["arcs"], "MultiPolygon arcs"))
                polygon(rings, out);
        }
        // Points and lines carry no area; they are not part of a land outline.
    }

private:
    void readArcs(const Object& topology) {
        bool quantized = false;
        double scale[2] = {1, 1}, translate[2] = {0, 0};
        const Object& transform = topology["transform"];
        if (!transform.isAbsent() && !transform.isNull()) {
            const auto& s = arrayOf(transform["scale"], "transform scale");
            const auto& t = arrayOf(transform["translate"], "transform translate");
            if (s.size() < 2 || t.size() < 2) fail(TopoJSON::InvalidDocument, "transform needs two values");
            for (int i = 0; i < 2; ++i) {
                scale[i] = finiteNumber(s[i], "transform scale");
                translate[i] = finiteNumber(t[i], "transform translate");
            }
            quantized = true;
        }
        size_t total = 0;
        for (const Object& arcValue : arrayOf(topology["arcs"], "arcs")) {
            const auto& positions = arrayOf(arcValue, "an arc");
            total += positions.size();
            if (total > TopoJSON::kMaxPositions) fail(TopoJSON::TooLarge, "too many arc positions");
            std::vector<GeoCoordinate> arc;
            arc.reserve(positions.size());
            double x = 0, y = 0;
            for (const Object& position : positions) {
                const auto& pair = arrayOf(position, "a position");
                if (pair.size() < 2) fail(TopoJSON::InvalidDocument, "a position needs two values");
                double px = finiteNumber(pair[0], "a position");
                double py = finiteNumber(pair[1], "a position");
                // Quantized arcs store the first position absolutely and each later one as the
                // step from its predecessor.
                if (quantized) {
                    x += px;
                    y += py;
                    px = x * scale[0] + translate[0];
                    py = y * scale[1] + translate[1];
                }
                arc.push_back(checked(px, py));
            }
            arcs_.push_back(std::move(arc));
        }
    }

    static GeoCoordinate checked(double longitude, double latitude) {
        if (!std::isfinite(longitude) || !std::isfinite(latitude) ||
            std::fabs(longitude) > 180.0 + kEdgeTolerance || std::fabs(latitude) > 90.0 + kEdgeTolerance)
            fail(TopoJSON::CoordinateOutOfRange, "a position lies outside the globe");
        return GeoCoordinate{std::clamp(latitude, -90.0, 90.0), std::clamp(longitude, -180.0, 180.0)};
    }

    void polygon(const Object& ringsValue, std::vector<GeoPolygon>& out) {
        GeoPolygon polygon;
        for (const Object& ringValue : arrayOf(ringsValue, "polygon rings")) {
            GeoPolygon::Ring ring = stitch(arrayOf(ringValue, "a ring"));
            if (ring.size() < 4) {
                // A degenerate outline drops the polygon; a degenerate hole only itself.
                if (polygon.rings.empty()) return;
                continue;
            }
            polygon.rings.push_back(std::move(ring));
        }
        if (!polygon.rings.empty()) out.push_back(std::move(polygon));
    }

    GeoPolygon::Ring stitch(const Object::Array& indices) {
        GeoPolygon::Ring ring;
        for (const Object& indexValue : indices) {
            const Number* number = indexValue.asNumber();
            if (!number || !number->isInteger() || number->isBool())
                fail(TopoJSON::InvalidDocument, "an arc index is not an integer");
            int64_t index = number->int64Value();
            bool reversed = index < 0;
            // ~index, written so that the most negative value cannot overflow.
            uint64_t arcIndex = reversed ? static_cast<uint64_t>(-(index + 1)) : static_cast<uint64_t>(index);
            if (arcIndex >= arcs_.size()) fail(TopoJSON::ArcIndexOutOfRange, "an arc index is out of range");
            const auto& arc = arcs_[arcIndex];
            if (arc.empty()) continue;
            emitted_ += arc.size();
            if (emitted_ > TopoJSON::kMaxPositions) fail(TopoJSON::TooLarge, "rings hold too many positions");
            // Consecutive arcs share their joining point; keep one copy.
            if (!ring.empty()) ring.pop_back();
            if (reversed)
                ring.insert(ring.end(), arc.rbegin(), arc.rend());
            else
                ring.insert(ring.end(), arc.begin(), arc.end());
        }
        if (ring.size() >= 3 && ring.front() != ring.back()) ring.push_back(ring.front());
        return ring;
    }

    std::vector<std::vector<GeoCoordinate>> arcs_;
    size_t emitted_ = 0;
};

} // namespace

std::optional<std::vector<GeoPolygon>> TopoJSON::polygons(std::string_view json, std::string_view objectName,
                                                          Error* error) {
    auto report = [&](Code code, const std::string& message) -> std::optional<std::vector<GeoPolygon>> {
        if (error) *error = Error::withMessage(kErrorDomain, code, "Map data: " + message);
        return std::nullopt;
    };
    Error parseError;
    Object topology = JSONSerialization::jsonObject(json, JSONSerialization::ReadingNone, &parseError);
    if (!topology.isDict())
        return report(InvalidDocument, topology.isAbsent() ? parseError.localizedDescription()
                                                           : std::string("the document is not an object"));
    try {
        Decoder decoder(topology);
        const Object& objects = topology["objects"];
        if (!objects.isDict()) fail(InvalidDocument, "the topology has no objects");
        std::vector<GeoPolygon> result;
        if (objectName.empty()) {
            for (const auto& [name, object] : objects.dict())
                decoder.geometry(object, 0, result);
        } else {
            const Object& object = objects[objectName];
            if (object.isAbsent())
                fail(ObjectNotFound, "no object named \"" + std::string(objectName) + "\"");
            decoder.geometry(object, 0, result);
        }
        return result;
    } catch (const DecodeFailure& failure) {
        return report(failure.code, failure.message);
    }
}

} // namespace plat::map
