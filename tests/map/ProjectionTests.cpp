// Coordinates, regions, the Mercator projection and viewport fitting.
#include "platform/map/CoordinateRegion.h"
#include "platform/map/MapViewport.h"
#include "platform/map/MercatorProjection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace plat::map;
using plat::Point;
using plat::Size;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

TEST(GeoCoordinateTest, RejectsNonFiniteAndChecksValidity) {
    EXPECT_FALSE(GeoCoordinate::make(kNaN, 0));
    EXPECT_FALSE(GeoCoordinate::make(0, kInf));
    EXPECT_FALSE(GeoCoordinate::make(-kInf, 0));
    ASSERT_TRUE(GeoCoordinate::make(91, 200));
    EXPECT_FALSE(GeoCoordinate::make(91, 200)->isValid());

    EXPECT_TRUE((GeoCoordinate{90, 180}).isValid());
    EXPECT_TRUE((GeoCoordinate{-90, -180}).isValid());
    EXPECT_FALSE((GeoCoordinate{90.0001, 0}).isValid());
    EXPECT_FALSE((GeoCoordinate{0, -180.0001}).isValid());
    EXPECT_FALSE((GeoCoordinate{kNaN, 0}).isValid());
}

TEST(CoordinateRegionTest, DistanceRegionsMatchDegreesAtTheirLatitude) {
    // 20,000 km round latitude 54: about 180° of latitude and, with meridians converging, more
    // than 300° of longitude.
    auto wide = CoordinateRegion::makeWithDistance({54, 15}, 20'000'000, 20'000'000);
    EXPECT_NEAR(wide.span.latitudeDelta, 179.66, 0.05);
    EXPECT_NEAR(wide.span.longitudeDelta, 305.7, 0.5);
    auto equator = CoordinateRegion::makeWithDistance({0, 0}, 10'000'000, 10'000'000);
    EXPECT_NEAR(equator.span.latitudeDelta, equator.span.longitudeDelta, 1e-9);
    EXPECT_NEAR(equator.span.latitudeDelta, 89.83, 0.05);
    // At a pole every longitude is within reach; silly distances give nothing.
    EXPECT_EQ(CoordinateRegion::makeWithDistance({90, 0}, 1000, 1000).span.longitudeDelta, 360.0);
    auto bad = CoordinateRegion::makeWithDistance({10, 10}, kNaN, -5);
    EXPECT_EQ(bad.span, (GeoSpan{0, 0}));
    EXPECT_EQ(CoordinateRegion::makeWithDistance({10, 10}, 1e12, 1e12).span, (GeoSpan{180, 360}));
    EXPECT_FALSE((CoordinateRegion{{kNaN, 0}, {1, 1}}).isValid());
    EXPECT_FALSE((CoordinateRegion{{0, 0}, {-1, 1}}).isValid());
}

TEST(MercatorProjectionTest, ClampsWrapsAndRoundTrips) {
    EXPECT_EQ(MercatorProjection::clampLatitude(90), MercatorProjection::kMaxLatitude);
    EXPECT_EQ(MercatorProjection::clampLatitude(-1e300), -MercatorProjection::kMaxLatitude);
    EXPECT_EQ(MercatorProjection::clampLatitude(kNaN), 0);
    EXPECT_EQ(MercatorProjection::wrapLongitude(180), -180);
    EXPECT_EQ(MercatorProjection::wrapLongitude(-180), -180);
    EXPECT_NEAR(MercatorProjection::wrapLongitude(190), -170, 1e-12);
    EXPECT_NEAR(MercatorProjection::wrapLongitude(-190), 170, 1e-12);
    EXPECT_NEAR(MercatorProjection::wrapLongitude(725), 5, 1e-9);
    EXPECT_EQ(MercatorProjection::wrapLongitude(kInf), 0);
    double justBelow = std::nextafter(180.0, 0.0) - 360.0 * 3;
    double wrapped = MercatorProjection::wrapLongitude(justBelow);
    EXPECT_GE(wrapped, -180);
    EXPECT_LT(wrapped, 180);

    // The clamp latitude maps to the square's edges, the equator and meridian to its middle.
    auto north = MercatorProjection::project({90, 0});
    auto south = MercatorProjection::project({-85.05112878, 0});
    ASSERT_TRUE(north && south);
    EXPECT_NEAR(north->y, 0, 1e-9);
    EXPECT_NEAR(south->y, 1, 1e-9);
    EXPECT_EQ(*MercatorProjection::project({0, 0}), (Point{0.5, 0.5}));
    EXPECT_EQ(MercatorProjection::project({0, 180})->x, 0);
    EXPECT_FALSE(MercatorProjection::project({kNaN, 0}));
    EXPECT_FALSE(MercatorProjection::project({0, -kInf}));

    for (GeoCoordinate c : {GeoCoordinate{54, 15}, GeoCoordinate{-33.87, 151.21}, GeoCoordinate{64.1, -21.9},
                            GeoCoordinate{-85, -179.5}, GeoCoordinate{85, 179.999}}) {
        GeoCoordinate back = MercatorProjection::unproject(*MercatorProjection::project(c));
        EXPECT_NEAR(back.latitude, c.latitude, 1e-9);
        EXPECT_NEAR(back.longitude, c.longitude, 1e-9);
    }
    // Unit points outside the square wrap in x and clamp in y.
    GeoCoordinate outside = MercatorProjection::unproject({1.25, -3});
    EXPECT_NEAR(outside.longitude, -90, 1e-9);
    EXPECT_NEAR(outside.latitude, MercatorProjection::kMaxLatitude, 1e-6);
    GeoCoordinate nan = MercatorProjection::unproject({kNaN, kNaN});
    EXPECT_TRUE(nan.isValid());
}

TEST(MercatorProjectionTest, RegionRectanglesRoundTrip) {
    CoordinateRegion europe{{50, 10}, {20, 40}};
    auto rect = MercatorProjection::worldRect(europe);
    ASSERT_TRUE(rect);
    EXPECT_NEAR(rect->size.width, 40.0 / 360.0, 1e-12);
    // Mercator stretches latitude, so 20° near 50° N takes more height than 20° at the equator.
    auto equator = MercatorProjection::worldRect({{0, 10}, {20, 40}});
    EXPECT_GT(rect->size.height, equator->size.height * 1.4);
    // Both latitude edges fit, even though the projection stretches the northern half more.
    EXPECT_LE(rect->minY(), MercatorProjection::project({60, 10})->y + 1e-12);
    EXPECT_GE(rect->maxY(), MercatorProjection::project({40, 10})->y - 1e-12);
    CoordinateRegion back = MercatorProjection::region(*rect);
    EXPECT_NEAR(back.span.longitudeDelta, 40, 1e-9);
    EXPECT_GE(back.span.latitudeDelta, 20);
    EXPECT_LT(back.span.latitudeDelta, 25);
    EXPECT_NEAR(back.center.longitude, 10, 1e-9);
    EXPECT_NEAR(back.center.latitude, 50, 1e-9);
    // A span past the pole is measured to the clamp latitude, and the far edge still fits.
    auto polar = MercatorProjection::worldRect({{80, 0}, {40, 10}});
    EXPECT_GE(polar->maxY(), MercatorProjection::project({60, 0})->y - 1e-12);
    EXPECT_LT(polar->size.height, 1);
    EXPECT_FALSE(MercatorProjection::worldRect({{0, kNaN}, {1, 1}}));
    EXPECT_FALSE(MercatorProjection::worldRect({{0, 0}, {kInf, 1}}));
}

TEST(MapViewportTest, FitsTheRequestAndStaysInsideTheWorld) {
    // The initial world view centred at 54° N: the longitude span decides the scale in a wide
    // view, and the centre is pulled south so no space beyond the top edge shows.
    Size view{800, 700};
    auto wanted = MercatorProjection::worldRect({{54, 15}, {180, 360}});
    MapViewport viewport(view, *wanted);
    EXPECT_DOUBLE_EQ(viewport.scale(), 800);
    EXPECT_NEAR(viewport.visibleRect().minY(), 0, 1e-12);
    EXPECT_NEAR(viewport.visibleRegion().span.longitudeDelta, 360, 1e-9);
    EXPECT_LT(viewport.visibleRegion().center.latitude, 54);

    // A 20° × 40° region is fully visible; the view's aspect widens the narrower side.
    MapViewport near(view, *MercatorProjection::worldRect({{48.85, 2.35}, {20, 40}}));
    CoordinateRegion shown = near.visibleRegion();
    EXPECT_GE(shown.span.longitudeDelta, 40 - 1e-9);
    EXPECT_GE(shown.span.latitudeDelta, 20 - 1e-9);
    EXPECT_NEAR(shown.center.latitude, 48.85, 1e-6);
    auto paris = near.viewPoint(GeoCoordinate{48.85, 2.35});
    EXPECT_NEAR(paris->x, 400, 1e-6);
    EXPECT_NEAR(paris->y, 350, 1e-6);
    GeoCoordinate under = near.coordinate({400, 350});
    EXPECT_NEAR(under.latitude, 48.85, 1e-9);
    EXPECT_NEAR(under.longitude, 2.35, 1e-9);

    // Zero and non-finite extents zoom in as far as allowed; a tall view may not show more than
    // one world's height either.
    MapViewport deepest(view, WorldRect{{0.5, 0.5}, {0, kNaN}});
    EXPECT_DOUBLE_EQ(deepest.scale(), 700 * MapViewport::kMaxZoomFactor);
    MapViewport tall({300, 900}, WorldRect{{0.5, 0.5}, {5, 5}});
    EXPECT_DOUBLE_EQ(tall.scale(), 900);
    MapViewport lost(view, WorldRect{{kNaN, kInf}, {0.1, 0.1}});
    EXPECT_EQ(lost.visibleRect().center, (Point{0.5, 0.5}));
    EXPECT_TRUE(MapViewport({0, 100}, *wanted).isEmpty());
    EXPECT_TRUE(MapViewport({kNaN, 100}, *wanted).isEmpty());
}

TEST(MapViewportTest, PlacesPointsOnTheCopyOfTheWorldNearestTheCentre) {
    // Looking at the antimeridian from the west, a place just east of it appears on the right.
    MapViewport pacific({800, 400}, *MercatorProjection::worldRect({{0, 179}, {20, 40}}));
    auto fiji = pacific.viewPoint(GeoCoordinate{-17.7, -178.0});
    auto westOfLine = pacific.viewPoint(GeoCoordinate{0, 170.0});
    ASSERT_TRUE(fiji && westOfLine);
    EXPECT_GT(fiji->x, 400);
    EXPECT_LT(fiji->x, 800);
    EXPECT_LT(westOfLine->x, 400);
    EXPECT_GT(pacific.coordinate({fiji->x, fiji->y}).longitude, -178.0 - 1e-6);
    EXPECT_FALSE(pacific.viewPoint(GeoCoordinate{kNaN, 0}));
}
