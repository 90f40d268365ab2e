// The camera (clamping, animated moves under a manual clock) and pointer interaction.
#include "platform/map/MapCamera.h"
#include "platform/map/MapInteraction.h"
#include "platform/map/MercatorProjection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

using namespace plat::map;
using plat::Point;
using plat::Size;
using namespace std::chrono_literals;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const CoordinateRegion kInitial{{54.0, 15.0}, {180.0, 360.0}};

class MapCameraTest : public ::testing::Test {
protected:
    MapCameraTest() : camera(kInitial, clock) { camera.setViewSize({800, 600}); }
    plat::ManualClock clock;
    MapCamera camera;
};

} // namespace

TEST_F(MapCameraTest, RejectsNonFiniteRegionsAndClampsTheRest) {
    CoordinateRegion before = camera.region();
    EXPECT_FALSE(camera.setRegion({{kNaN, 10}, {20, 40}}));
    EXPECT_FALSE(camera.setRegion({{10, 10}, {20, std::numeric_limits<double>::infinity()}}));
    EXPECT_FALSE(camera.setCenter({0, kNaN}));
    EXPECT_EQ(camera.region(), before);

    // Beyond the pole and past the antimeridian: latitude clamped, longitude wrapped, and the
    // view kept inside the world.
    ASSERT_TRUE(camera.setRegion({{95, 200}, {20, 40}}));
    CoordinateRegion shown = camera.region();
    EXPECT_NEAR(shown.center.longitude, -160, 1e-9);
    EXPECT_NEAR(camera.viewport().visibleRect().minY(), 0, 1e-12);
    EXPECT_NEAR(camera.viewport().coordinate({400, 0}).latitude, MercatorProjection::kMaxLatitude, 1e-6);
    EXPECT_LT(shown.center.latitude, MercatorProjection::kMaxLatitude);

    // Larger than the world: one world fills the view.
    ASSERT_TRUE(camera.setRegion({{0, 0}, {180, 3600}}));
    EXPECT_NEAR(camera.viewport().visibleRect().size.width, 1, 1e-12);
}

TEST_F(MapCameraTest, AnimatedMoveEasesToTheTargetOnTheClock) {
    ASSERT_TRUE(camera.setRegion({{0, 0}, {20, 40}}));
    Point start = camera.viewport().visibleRect().center;
    ASSERT_TRUE(camera.setRegion({{40, 60}, {20, 40}}, MapCamera::kDefaultAnimationDuration));
    EXPECT_TRUE(camera.isAnimating());
    EXPECT_EQ(camera.viewport().visibleRect().center, start);

    Point end = *MercatorProjection::project({40, 60});
    clock.advance(MapCamera::kDefaultAnimationDuration / 4);
    double quarter = (camera.viewport().visibleRect().center.x - start.x) / (end.x - start.x);
    clock.advance(MapCamera::kDefaultAnimationDuration / 4);
    double half = (camera.viewport().visibleRect().center.x - start.x) / (end.x - start.x);
    // Ease in: a quarter of the time covers much less than a quarter of the way; half is half.
    EXPECT_GT(quarter, 0);
    EXPECT_LT(quarter, 0.15);
    EXPECT_NEAR(half, 0.5, 1e-9);
    EXPECT_TRUE(camera.isAnimating());

    clock.advance(MapCamera::kDefaultAnimationDuration);
    EXPECT_FALSE(camera.isAnimating());
    EXPECT_NEAR(camera.region().center.latitude, 40, 1e-9);
    EXPECT_NEAR(camera.region().center.longitude, 60, 1e-9);
}

TEST_F(MapCameraTest, MovesTakeTheShortWayAcrossTheAntimeridianAndCanBeInterrupted) {
    ASSERT_TRUE(camera.setRegion({{0, 170}, {20, 40}}));
    ASSERT_TRUE(camera.setRegion({{0, -170}, {20, 40}}, 1s));
    clock.advance(500ms);
    // Halfway between 170° E and 170° W the short way is the antimeridian, not Greenwich.
    EXPECT_NEAR(std::fabs(camera.region().center.longitude), 180, 1e-6);

    // A new move starts where the camera is now, not where the old one was headed.
    ASSERT_TRUE(camera.setRegion({{30, 0}, {20, 40}}, 1s));
    EXPECT_NEAR(std::fabs(camera.region().center.longitude), 180, 1e-6);
    clock.advance(250ms);
    camera.stopAnimation();
    EXPECT_FALSE(camera.isAnimating());
    CoordinateRegion frozen = camera.region();
    clock.advance(2s);
    EXPECT_EQ(camera.region(), frozen);
    EXPECT_NE(frozen.center.longitude, 0);
}

TEST_F(MapCameraTest, KeepsTheRequestAcrossResizesAndZoomsFromAClampedStart) {
    ASSERT_TRUE(camera.setRegion({{10, 20}, {20, 40}}));
    camera.setViewSize({400, 800});
    CoordinateRegion tall = camera.region();
    EXPECT_NEAR(tall.span.longitudeDelta, 40, 1e-9);
    EXPECT_GT(tall.span.latitudeDelta, 40);

    // The initial request reaches beyond the top of the world; a move must begin from what was
    // shown, not from that unreachable request.
    MapCamera world(kInitial, clock);
    world.setViewSize({800, 600});
    Point shown = world.viewport().visibleRect().center;
    ASSERT_TRUE(world.setRegion({{-30, 15}, {20, 40}}, 1s));
    EXPECT_NEAR(world.viewport().visibleRect().center.y, shown.y, 1e-12);

    // Without a view size the camera still reports what it was asked for.
    MapCamera unsized({{10, 20}, {20, 40}}, clock);
    EXPECT_NEAR(unsized.region().center.longitude, 20, 1e-9);
    EXPECT_TRUE(unsized.viewport().isEmpty());
    EXPECT_TRUE(unsized.setCenter({-20, 30}));
    EXPECT_NEAR(unsized.region().center.latitude, -20, 1e-9);
}

TEST_F(MapCameraTest, EasingIsMonotonicAndBounded) {
    EXPECT_EQ(MapCamera::easeInOut(-1), 0);
    EXPECT_EQ(MapCamera::easeInOut(kNaN), 0);
    EXPECT_EQ(MapCamera::easeInOut(2), 1);
    double previous = 0;
    for (int i = 1; i <= 100; ++i) {
        double v = MapCamera::easeInOut(i / 100.0);
        EXPECT_GE(v, previous);
        previous = v;
    }
    EXPECT_DOUBLE_EQ(previous, 1);
}

TEST_F(MapCameraTest, DragPansWithThePointerAndClicksAreTold) {
    ASSERT_TRUE(camera.setRegion({{0, 0}, {20, 40}}));
    MapInteraction input(camera);
    MapViewport before = camera.viewport();
    GeoCoordinate grabbed = before.coordinate({300, 200});

    input.mouseDown({300, 200});
    input.mouseDragged({301, 200}); // within the click slop: nothing moves yet
    EXPECT_EQ(camera.viewport().visibleRect(), before.visibleRect());
    input.mouseDragged({350, 260});
    input.mouseDragged({400, 260});
    EXPECT_TRUE(input.isDragging());
    EXPECT_FALSE(input.mouseUp({400, 260}));
    // The place grabbed stays under the pointer.
    GeoCoordinate under = camera.viewport().coordinate({400, 260});
    EXPECT_NEAR(under.latitude, grabbed.latitude, 1e-9);
    EXPECT_NEAR(under.longitude, grabbed.longitude, 1e-9);

    input.mouseDown({100, 100});
    auto click = input.mouseUp({101, 101});
    ASSERT_TRUE(click);
    EXPECT_EQ(*click, (Point{100, 100}));
    EXPECT_FALSE(input.mouseUp({100, 100})); // no press, no click
    input.mouseDragged({500, 500});          // no press, no pan
    EXPECT_NEAR(camera.viewport().coordinate({400, 260}).longitude, grabbed.longitude, 1e-9);
}

TEST_F(MapCameraTest, DraggingPastAPoleBuildsNoSlack) {
    ASSERT_TRUE(camera.setRegion({{70, 0}, {20, 40}}));
    MapInteraction input(camera);
    input.mouseDown({400, 100});
    input.mouseDragged({400, 5000}); // far beyond the north edge
    EXPECT_NEAR(camera.viewport().visibleRect().minY(), 0, 1e-12);
    input.mouseDragged({400, 4900}); // back by 100 px: the map follows at once
    EXPECT_GT(camera.viewport().visibleRect().minY(), 0);
    input.mouseUp({400, 4900});
}

TEST_F(MapCameraTest, WheelZoomsAboutThePointerWithinLimits) {
    ASSERT_TRUE(camera.setRegion({{20, 10}, {40, 80}}));
    MapInteraction input(camera);
    Point cursor{200, 450};
    GeoCoordinate under = camera.viewport().coordinate(cursor);
    double scale = camera.viewport().scale();

    input.scrollWheel(cursor, 2); // two notches: twice as close
    EXPECT_NEAR(camera.viewport().scale(), scale * 2, 1e-6);
    GeoCoordinate still = camera.viewport().coordinate(cursor);
    EXPECT_NEAR(still.latitude, under.latitude, 1e-9);
    EXPECT_NEAR(still.longitude, under.longitude, 1e-9);

    input.scrollWheel(cursor, kNaN);
    input.zoom(cursor, -1);
    EXPECT_NEAR(camera.viewport().scale(), scale * 2, 1e-6);

    for (int i = 0; i < 100; ++i)
        input.scrollWheel(cursor, 1e9);
    EXPECT_DOUBLE_EQ(camera.viewport().scale(), 600 * MapViewport::kMaxZoomFactor);
    for (int i = 0; i < 100; ++i)
        input.scrollWheel(cursor, -1e9);
    EXPECT_DOUBLE_EQ(camera.viewport().scale(), 800);
    EXPECT_NEAR(camera.viewport().visibleRect().size.height, 0.75, 1e-12);

    // A wheel turn during a move takes over from where the camera is.
    ASSERT_TRUE(camera.setRegion({{0, 100}, {20, 40}}, 1s));
    clock.advance(500ms);
    input.scrollWheel({400, 300}, 1);
    EXPECT_FALSE(camera.isAnimating());
}
