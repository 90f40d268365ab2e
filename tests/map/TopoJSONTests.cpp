// Decoding TopoJSON: a small hand-made topology, and files built to break a careless reader.
#include "platform/map/TopoJSON.h"

#include <gtest/gtest.h>

#include <string>

using namespace plat::map;

namespace {

// Quantized with scale 0.5 and translate -10: a 20° square round (0, 0) made of two arcs, and a
// 4° square hole in its middle as a third.
const char* kFixture = R"({
  "type": "Topology",
  "transform": {"scale": [0.5, 0.5], "translate": [-10, -10]},
  "arcs": [
    [[0, 0], [40, 0], [0, 40]],
    [[40, 40], [-40, 0], [0, -40]],
    [[16, 16], [8, 0], [0, 8], [-8, 0], [0, -8]]
  ],
  "objects": {
    "land": {"type": "GeometryCollection", "geometries": [
      {"type": "Polygon", "arcs": [[0, 1], [2]]},
      {"type": "GeometryCollection", "geometries": [
        {"type": "MultiPolygon", "arcs": [[[-2, -1]]]},
        {"type": "LineString", "arcs": [0]},
        {"type": "Point", "coordinates": [0, 0]},
        {"type": null}
      ]}
    ]},
    "other": {"type": "Polygon", "arcs": [[2]]}
  }
})";

std::string topology(const std::string& arcs, const std::string& geometry, const std::string& extra = "") {
    return R"({"type":"Topology",)" + extra + R"("arcs":)" + arcs + R"(,"objects":{"land":)" + geometry +
           "}}";
}

std::string polygonOf(const std::string& rings) {
    return R"({"type":"Polygon","arcs":)" + rings + "}";
}

const std::string kSquareArc = "[[[0,0],[10,0],[10,10],[0,10],[0,0]]]";

plat::Error failure(const std::string& json) {
    plat::Error error;
    EXPECT_FALSE(TopoJSON::polygons(json, "land", &error)) << json.substr(0, 200);
    EXPECT_EQ(error.domain, TopoJSON::kErrorDomain);
    return error;
}

} // namespace

TEST(TopoJSONTest, DecodesQuantizedArcsRingsHolesAndReversals) {
    plat::Error error;
    auto polygons = TopoJSON::polygons(kFixture, "land", &error);
    ASSERT_TRUE(polygons) << error.localizedDescription();
    ASSERT_EQ(polygons->size(), 2u);

    const GeoPolygon& first = (*polygons)[0];
    ASSERT_EQ(first.rings.size(), 2u);
    // The shared point between the two arcs appears once; the ring closes on its start.
    const GeoPolygon::Ring expected{{-10, -10}, {-10, 10}, {10, 10}, {10, -10}, {-10, -10}};
    EXPECT_EQ(first.rings[0], expected);
    const GeoPolygon::Ring hole{{-2, -2}, {-2, 2}, {2, 2}, {2, -2}, {-2, -2}};
    EXPECT_EQ(first.rings[1], hole);

    // ~1 then ~0: the same square walked the other way.
    const GeoPolygon& reversed = (*polygons)[1];
    ASSERT_EQ(reversed.rings.size(), 1u);
    EXPECT_EQ(reversed.rings[0], GeoPolygon::Ring(expected.rbegin(), expected.rend()));

    // Another object by name, and every object when no name is given.
    EXPECT_EQ(TopoJSON::polygons(kFixture, "other")->size(), 1u);
    EXPECT_EQ(TopoJSON::polygons(kFixture, "")->size(), 3u);
    EXPECT_EQ(
        failure(std::string(kFixture).replace(std::string(kFixture).find("\"land\""), 6, "\"sea\"")).code,
        TopoJSON::ObjectNotFound);
}

TEST(TopoJSONTest, ReadsPlainArcsAndDropsDegenerateRings) {
    auto plain = TopoJSON::polygons(topology(kSquareArc, polygonOf("[[0]]")), "land");
    ASSERT_TRUE(plain);
    ASSERT_EQ(plain->size(), 1u);
    EXPECT_EQ(plain->front().rings[0][2], (GeoCoordinate{10, 10}));

    // An outline of two points is no polygon; a degenerate hole is dropped on its own; an open
    // ring is closed.
    std::string arcs = "[[[0,0],[10,0],[10,10],[0,10],[0,0]],[[1,1],[2,2]],[[1,1],[2,1],[2,2]]]";
    auto mixed = TopoJSON::polygons(
        topology(arcs, R"({"type":"MultiPolygon","arcs":[[[1]],[[0],[1]],[[2]]]})"), "land");
    ASSERT_TRUE(mixed);
    ASSERT_EQ(mixed->size(), 2u);
    EXPECT_EQ((*mixed)[0].rings.size(), 1u);
    ASSERT_EQ((*mixed)[1].rings[0].size(), 4u);
    EXPECT_EQ((*mixed)[1].rings[0].front(), (*mixed)[1].rings[0].back());
}

TEST(TopoJSONTest, RejectsHostileIndicesAndValues) {
    EXPECT_EQ(failure(topology(kSquareArc, polygonOf("[[1]]"))).code, TopoJSON::ArcIndexOutOfRange);
    EXPECT_EQ(failure(topology(kSquareArc, polygonOf("[[-2]]"))).code, TopoJSON::ArcIndexOutOfRange);
    EXPECT_EQ(failure(topology(kSquareArc, polygonOf("[[-9223372036854775808]]"))).code,
              TopoJSON::ArcIndexOutOfRange);
    EXPECT_EQ(failure(topology(kSquareArc, polygonOf("[[18446744073709551615]]"))).code,
              TopoJSON::ArcIndexOutOfRange);
    EXPECT_EQ(failure(topology(kSquareArc, polygonOf("[[0.5]]"))).code, TopoJSON::InvalidDocument);
    EXPECT_EQ(failure(topology(kSquareArc, polygonOf(R"([["0"]])"))).code, TopoJSON::InvalidDocument);
    EXPECT_EQ(failure(topology(kSquareArc, polygonOf("[[true]]"))).code, TopoJSON::InvalidDocument);
    EXPECT_EQ(failure(topology(kSquareArc, polygonOf("[0]"))).code, TopoJSON::InvalidDocument);
    EXPECT_EQ(failure(topology(kSquareArc, R"({"type":"MultiPolygon","arcs":{}})")).code,
              TopoJSON::InvalidDocument);
    EXPECT_EQ(failure(topology(kSquareArc, R"({"arcs":[[0]]})")).code, TopoJSON::InvalidDocument);
    EXPECT_EQ(failure(topology(kSquareArc, "[]")).code, TopoJSON::InvalidDocument);

    // Positions off the globe, not numbers, or too large to be finite.
    EXPECT_EQ(failure(topology("[[[0,0],[500,0],[0,10]]]", polygonOf("[[0]]"))).code,
              TopoJSON::CoordinateOutOfRange);
    // (The JSON reader itself refuses numbers beyond the range of a double.)
    EXPECT_EQ(failure(topology("[[[0,0],[0,1e400],[0,10]]]", polygonOf("[[0]]"))).code,
              TopoJSON::InvalidDocument);
    EXPECT_EQ(failure(topology(R"([[[0,0],["x",0]]])", polygonOf("[[0]]"))).code, TopoJSON::InvalidDocument);
    EXPECT_EQ(failure(topology("[[[0]]]", polygonOf("[[0]]"))).code, TopoJSON::InvalidDocument);
    // Deltas that add up past the edge of the world.
    EXPECT_EQ(failure(topology("[[[0,0],[100000,0]]]", polygonOf("[[0]]"),
                               R"("transform":{"scale":[0.01,0.01],"translate":[0,0]},)"))
                  .code,
              TopoJSON::CoordinateOutOfRange);
    EXPECT_EQ(
        failure(topology(kSquareArc, polygonOf("[[0]]"), R"("transform":{"scale":[1],"translate":[0,0]},)"))
            .code,
        TopoJSON::InvalidDocument);

    EXPECT_EQ(failure("not json").code, TopoJSON::InvalidDocument);
    EXPECT_EQ(failure("[1,2]").code, TopoJSON::InvalidDocument);
    EXPECT_EQ(failure(R"({"type":"Topology","objects":{"land":{}}})").code, TopoJSON::InvalidDocument);
    EXPECT_EQ(failure(R"({"type":"Topology","arcs":[],"objects":[]})").code, TopoJSON::InvalidDocument);
}

TEST(TopoJSONTest, RefusesInputThatWouldExhaustMemoryOrStack) {
    // A ring naming one 1,000-point arc 3,000 times would expand to three million positions.
    std::string arc = "[[0,0]";
    for (int i = 0; i < 999; ++i)
        arc += i % 2 ? ",[0,-0.001]" : ",[0,0.001]";
    arc += "]";
    std::string ring = "[[0";
    for (int i = 0; i < 2999; ++i)
        ring += ",0";
    ring += "]]";
    EXPECT_EQ(failure(topology("[" + arc + "]", polygonOf(ring))).code, TopoJSON::TooLarge);

    std::string nested = polygonOf("[[0]]");
    for (size_t i = 0; i <= TopoJSON::kMaxNesting + 1; ++i)
        nested = R"({"type":"GeometryCollection","geometries":[)" + nested + "]}";
    EXPECT_EQ(failure(topology(kSquareArc, nested)).code, TopoJSON::TooLarge);
}
