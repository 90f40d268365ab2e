// The land outlines: shapes across the antimeridian and round a pole, the bundled world file, and
// the draw lists built from it.
#include "platform/map/MapCamera.h"
#include "platform/map/MercatorProjection.h"
#include "platform/map/WorldMap.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace plat::map;
using plat::Point;
using plat::Size;

namespace {

bool filled(const std::vector<FillSpan>& spans, Point p) {
    int row = static_cast<int>(std::floor(p.y));
    for (const FillSpan& s : spans)
        if (s.y == row && s.x0 <= p.x && p.x < s.x1) return true;
    return false;
}

std::unique_ptr<WorldMap> mapOf(const std::string& ring) {
    return WorldMap::withJSON(R"({"type":"Topology","arcs":[)" + ring +
                              R"(],"objects":{"land":{"type":"Polygon","arcs":[[0]]}}})");
}

} // namespace

TEST(LandShapeTest, KeepsAntimeridianCrossingsAndPolarRingsInOnePiece) {
    // An island from 170° E across the antimeridian to 170° W. Drawn naively, its two long
    // edges would paint a band round the whole world.
    auto island = mapOf("[[170,-10],[-170,-10],[-170,10],[170,10],[170,-10]]");
    EXPECT_TRUE(island->isLand({0, 180}));
    EXPECT_TRUE(island->isLand({5, -175}));
    EXPECT_TRUE(island->isLand({-5, 175}));
    EXPECT_FALSE(island->isLand({0, 0}));
    EXPECT_FALSE(island->isLand({0, 160}));

    // A southern continent whose coast runs all round the globe: the ring is closed along the
    // bottom of the map.
    auto polar = mapOf("[[-180,-70],[-90,-72],[0,-70],[90,-72],[180,-70]]");
    ASSERT_FALSE(polar->loadError()) << polar->loadError()->localizedDescription();
    EXPECT_TRUE(polar->isLand({-80, 45}));
    EXPECT_TRUE(polar->isLand({-85, -135}));
    EXPECT_FALSE(polar->isLand({-60, 45}));
    EXPECT_FALSE(polar->isLand({0, 0}));

    // A ring that winds round the world again and again outlines nothing and is dropped.
    std::string winding = "[0,0]";
    for (int i = 1; i <= 12; ++i)
        winding += ",[" + std::to_string((i * 150) % 360 - 180) + "," + (i % 2 ? "1" : "0") + "]";
    auto wound = mapOf(winding + ",[0,0]");
    EXPECT_TRUE(wound->shapes().empty());
}

TEST(WorldMapTest, LoadsTheBundledLandOnceWithSaneGeometry) {
    WorldMap& world = WorldMap::shared();
    ASSERT_FALSE(world.loadError()) << world.loadError()->localizedDescription();
    // The 1:110m land is 125 polygons, one of them with a hole (the Caspian Sea).
    ASSERT_EQ(world.shapes().size(), 125u);
    size_t holes = 0, points = 0;
    for (const LandShape& shape : world.shapes()) {
        holes += shape.rings.size() - 1;
        for (const MapRing& ring : shape.rings) {
            ASSERT_GE(ring.size(), 3u);
            for (const Point& p : ring) {
                ASSERT_TRUE(p.y >= 0 && p.y <= 1) << p.y;
                ASSERT_TRUE(p.x >= shape.minX && p.x <= shape.maxX);
                ++points;
            }
        }
        // Nothing extends more than a little past one copy of the world.
        EXPECT_GE(shape.minX, -0.5);
        EXPECT_LE(shape.maxX, 1.5);
    }
    EXPECT_EQ(holes, 1u);
    // 4,997 distinct ring points after stitching shared arc ends, plus three that close
    // Antarctica along the bottom edge of the map.
    EXPECT_EQ(points, 5000u);
    EXPECT_EQ(&world.shapes(), &WorldMap::shared().shapes());
}

TEST(WorldMapTest, KnowsLandFromSea) {
    const WorldMap& world = WorldMap::shared();
    struct Place {
        const char* name;
        GeoCoordinate where;
        bool land;
    };
    const Place places[] = {
        {"central Australia", {-25.0, 134.0}, true},
        {"Sahara", {23.0, 10.0}, true},
        {"Siberia", {62.0, 100.0}, true},
        {"Amazon", {-5.0, -60.0}, true},
        {"Chukotka, east of 180°", {66.0, -175.0}, true},
        {"Antarctic plateau", {-80.0, 0.0}, true},
        {"Antarctica at the map's edge", {-85.0, 100.0}, true},
        {"Greenland", {72.0, -40.0}, true},
        {"mid Pacific", {0.0, -150.0}, false},
        {"mid Atlantic", {30.0, -40.0}, false},
        {"Norwegian Sea", {67.0, -5.0}, false},
        {"Caspian Sea (a hole)", {42.0, 51.0}, false},
        {"Indian Ocean", {-20.0, 80.0}, false},
    };
    for (const Place& place : places)
        EXPECT_EQ(world.isLand(place.where), place.land) << place.name;
    EXPECT_FALSE(world.isLand({NAN, 0}));
}

TEST(WorldMapTest, DrawsTheWorldWithinTheView) {
    const WorldMap& world = WorldMap::shared();
    MapViewport viewport({800, 800}, WorldRect{{0.5, 0.5}, {1, 1}});
    MapDrawList list = world.drawCommands(viewport);
    EXPECT_GE(list.land.size(), 125u);
    for (const MapShape& shape : list.land)
        for (const MapRing& ring : shape.rings)
            for (const Point& p : ring) {
                ASSERT_GE(p.x, -WorldMap::kClipMargin);
                ASSERT_LE(p.x, 800 + WorldMap::kClipMargin);
                ASSERT_GE(p.y, -WorldMap::kClipMargin);
                ASSERT_LE(p.y, 800 + WorldMap::kClipMargin);
            }
    auto spans = list.landSpans();
    for (GeoCoordinate land :
         {GeoCoordinate{-25, 134}, GeoCoordinate{40, -100}, GeoCoordinate{66, -175}, GeoCoordinate{-80, 0}})
        EXPECT_TRUE(filled(spans, *viewport.viewPoint(land))) << land.latitude << "," << land.longitude;
    for (GeoCoordinate sea : {GeoCoordinate{0, -150}, GeoCoordinate{67, -5}, GeoCoordinate{73, -160},
                              GeoCoordinate{68, -58}, GeoCoordinate{42, 51}})
        EXPECT_FALSE(filled(spans, *viewport.viewPoint(sea))) << sea.latitude << "," << sea.longitude;

    // Land covers a plausible share of the Mercator square (the projection inflates the polar
    // land a lot).
    double area = 0;
    for (const FillSpan& s : spans)
        area += s.x1 - s.x0;
    EXPECT_GT(area / (800.0 * 800.0), 0.25);
    EXPECT_LT(area / (800.0 * 800.0), 0.50);

    EXPECT_TRUE(world.drawCommands(MapViewport()).land.empty());
}

TEST(WorldMapTest, RepeatsLandAcrossTheAntimeridianAndClipsDeepZooms) {
    const WorldMap& world = WorldMap::shared();
    plat::ManualClock clock;
    MapCamera camera({{66, 180}, {20, 40}}, clock);
    camera.setViewSize({600, 400});
    MapDrawList list = world.drawCommands(camera);
    auto spans = list.landSpans();
    MapViewport viewport = camera.viewport();
    // Siberia on the left, Chukotka and Alaska on the right, sea in between at the Bering Strait.
    auto siberia = viewport.viewPoint(GeoCoordinate{66, 170});
    auto chukotka = viewport.viewPoint(GeoCoordinate{66, -175});
    auto alaska = viewport.viewPoint(GeoCoordinate{65, -160});
    EXPECT_LT(siberia->x, 300);
    EXPECT_GT(alaska->x, 300);
    EXPECT_TRUE(filled(spans, *siberia));
    EXPECT_TRUE(filled(spans, *chukotka));
    EXPECT_TRUE(filled(spans, *alaska));
    EXPECT_FALSE(filled(spans, *viewport.viewPoint(GeoCoordinate{60, -178})));

    // Zoomed deep into Paris, no point is sent millions of pixels away.
    ASSERT_TRUE(camera.setRegion({{48.8566, 2.3522}, {0.001, 0.001}}));
    MapDrawList close = world.drawCommands(camera);
    ASSERT_FALSE(close.land.empty());
    for (const MapShape& shape : close.land)
        for (const MapRing& ring : shape.rings)
            for (const Point& p : ring)
                ASSERT_TRUE(std::fabs(p.x) < 700 && std::fabs(p.y) < 500);
    EXPECT_TRUE(filled(close.landSpans(), {300, 200}));
}

TEST(WorldMapTest, ReportsMissingOrBrokenFilesWithoutCrashing) {
    WorldMap missing("/nonexistent/land.json");
    EXPECT_TRUE(missing.shapes().empty());
    ASSERT_TRUE(missing.loadError());
    EXPECT_FALSE(missing.isLand({-25, 134}));
    EXPECT_TRUE(missing.drawCommands(MapViewport({100, 100}, {{0.5, 0.5}, {1, 1}})).land.empty());

    auto broken = WorldMap::withJSON(
        R"({"type":"Topology","arcs":[[[0,0]]],"objects":{"land":{"type":"Polygon","arcs":[[7]]}}})");
    ASSERT_TRUE(broken->loadError());
    EXPECT_EQ(broken->loadError()->code, TopoJSON::ArcIndexOutOfRange);

    // A file without a "land" object still gives its polygons.
    auto unnamed = WorldMap::withJSON(
        R"({"type":"Topology","arcs":[[[0,0],[10,0],[10,10],[0,0]]],"objects":{"x":{"type":"Polygon","arcs":[[0]]}}})");
    EXPECT_EQ(unnamed->shapes().size(), 1u);
}
