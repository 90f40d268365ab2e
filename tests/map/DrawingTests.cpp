// Filling, clipping and markers: the parts of a frame a renderer takes as given.
#include "platform/map/MarkerLayer.h"
#include "platform/map/MercatorProjection.h"
#include "platform/map/RingClipper.h"
#include "platform/map/ScanlineFill.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace plat::map;
using plat::Point;
using plat::Size;

namespace {

double areaOf(const std::vector<FillSpan>& spans) {
    double area = 0;
    for (const FillSpan& s : spans)
        area += s.x1 - s.x0;
    return area;
}

double shoelace(const MapRing& ring) {
    double twice = 0;
    for (size_t i = 0; i < ring.size(); ++i) {
        const Point& a = ring[i];
        const Point& b = ring[(i + 1) % ring.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return std::fabs(twice) / 2;
}

MapRing square(double x0, double y0, double x1, double y1) {
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

} // namespace

TEST(ScanlineFillTest, FillsExactlyWithHolesAndConcaveOutlines) {
    MapShape framed{{square(10, 10, 90, 90), square(30, 30, 70, 70)}};
    auto spans = ScanlineFill::spans({framed}, {100, 100});
    EXPECT_DOUBLE_EQ(areaOf(spans), 80 * 80 - 40 * 40);
    for (const FillSpan& s : spans) {
        EXPECT_LT(s.x0, s.x1);
        // No span covers the hole.
        if (s.y >= 30 && s.y < 70) {
            EXPECT_TRUE(s.x1 <= 30 || s.x0 >= 70);
        }
    }

    // A "U": concave, two spans on the rows of its arms.
    MapShape u{{{{0, 0}, {30, 0}, {30, 20}, {20, 20}, {20, 10}, {10, 10}, {10, 20}, {0, 20}}}};
    auto uSpans = ScanlineFill::spans({u}, {40, 40});
    EXPECT_DOUBLE_EQ(areaOf(uSpans), 30 * 20 - 10 * 10);
    int armRows = 0;
    for (const FillSpan& s : uSpans)
        armRows += s.y == 15;
    EXPECT_EQ(armRows, 2);
}

TEST(ScanlineFillTest, ClipsToTheViewAndSurvivesBadInput) {
    // Far larger than the view: exactly the view is filled.
    MapShape huge{{square(-1e12, -1e12, 1e12, 1e12)}};
    EXPECT_DOUBLE_EQ(areaOf(ScanlineFill::spans({huge}, {50, 20})), 50 * 20);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    MapShape broken{{{{0, 0}, {nan, 5}, {10, 10}}, {{1, 1}, {2, 2}}}};
    for (const FillSpan& s : ScanlineFill::spans({broken}, {20, 20})) {
        EXPECT_TRUE(std::isfinite(s.x0) && std::isfinite(s.x1));
        EXPECT_LT(s.x0, s.x1);
    }
    EXPECT_TRUE(ScanlineFill::spans({huge}, {0, 10}).empty());
}

TEST(RingClipperTest, KeepsOnlyThePartInsideTheRectangle) {
    MapRing inside = square(2, 2, 8, 8);
    EXPECT_EQ(RingClipper::clip(inside, 0, 0, 10, 10), inside);
    EXPECT_TRUE(RingClipper::clip(square(20, 20, 30, 30), 0, 0, 10, 10).empty());
    MapRing half = RingClipper::clip(square(5, -5, 15, 5), 0, 0, 10, 10);
    EXPECT_DOUBLE_EQ(shoelace(half), 25);
    for (const Point& p : half)
        EXPECT_TRUE(p.x >= 0 && p.x <= 10 && p.y >= 0 && p.y <= 10);
    // A ring round the whole rectangle becomes the rectangle.
    EXPECT_DOUBLE_EQ(shoelace(RingClipper::clip(square(-1e9, -1e9, 1e9, 1e9), 0, 0, 10, 10)), 100);
}

TEST(MarkerLayerTest, PlacesVisibleMarkersAndHitsTheTopmost) {
    MapViewport europe({800, 600}, *MercatorProjection::worldRect({{50, 10}, {20, 40}}));
    std::vector<MapMarker> markers{
        {1, {48.8566, 2.3522}, "Paris", MarkerTint::gray(), ""},
        {2, {52.52, 13.405}, "Berlin", MarkerTint::green(), "checkmark.shield.fill"},
        {3, {-33.87, 151.21}, "Sydney", MarkerTint::gray(), ""},
        {4, {NAN, 0}, "Nowhere", MarkerTint::gray(), ""},
        {5, {48.8570, 2.3530}, "Paris again", MarkerTint::gray(), ""},
    };
    auto placed = MarkerLayer::place(markers, europe);
    ASSERT_EQ(placed.size(), 3u);
    EXPECT_EQ(placed[0].marker.title, "Paris");
    EXPECT_EQ(placed[1].marker.symbolName, "checkmark.shield.fill");
    EXPECT_EQ(placed[1].marker.tint, MarkerTint::green());
    EXPECT_EQ(placed[2].marker.id, 5);
    Point berlin = *europe.viewPoint(GeoCoordinate{52.52, 13.405});
    EXPECT_EQ(placed[1].anchor, berlin);

    EXPECT_EQ(MarkerLayer::hitTest(placed, placed[1].head()), 2);
    EXPECT_EQ(MarkerLayer::hitTest(placed, berlin), 2);
    EXPECT_EQ(MarkerLayer::hitTest(placed, {berlin.x + PlacedMarker::kHeadRadius + 2, placed[1].head().y}),
              2);
    EXPECT_FALSE(MarkerLayer::hitTest(placed, {berlin.x + 40, berlin.y + 40}));
    // Two markers on one spot: the one drawn last (on top) wins.
    EXPECT_EQ(MarkerLayer::hitTest(placed, placed[0].head()), 5);
    EXPECT_FALSE(MarkerLayer::hitTest(placed, {NAN, 0}));

    // The map's selection is flagged and drawn on top, so it wins a shared spot.
    auto withSelection = MarkerLayer::place(markers, europe, 1);
    ASSERT_EQ(withSelection.size(), 3u);
    EXPECT_EQ(withSelection.back().marker.id, 1);
    EXPECT_TRUE(withSelection.back().selected);
    EXPECT_FALSE(withSelection.front().selected);
    EXPECT_EQ(withSelection.front().marker.id, 2);
    EXPECT_EQ(MarkerLayer::hitTest(withSelection, placed[0].head()), 1);
    EXPECT_FALSE(MarkerLayer::hitTest({}, berlin));
    EXPECT_TRUE(MarkerLayer::place(markers, MapViewport()).empty());
}

TEST(MarkerLayerTest, RaisedMarkerIsDrawnAboveCrowdingNeighboursAndBelowTheSelection) {
    MapViewport europe({800, 600}, *MercatorProjection::worldRect({{50, 10}, {20, 40}}));
    // Brussels, in use, listed before its close neighbours.
    std::vector<MapMarker> markers{
        {1, {50.85, 4.35}, "Brussels", MarkerTint::green(), ""},
        {2, {52.37, 4.90}, "Amsterdam", MarkerTint::gray(), ""},
        {3, {50.11, 8.68}, "Frankfurt", MarkerTint::gray(), ""},
        {4, {50.85, 4.36}, "Brussels too", MarkerTint::gray(), ""},
    };
    markers[0].raised = true;
    auto placed = MarkerLayer::place(markers, europe);
    ASSERT_EQ(placed.size(), 4u);
    EXPECT_EQ(placed.back().marker.id, 1) << "drawn last, on top";
    EXPECT_EQ(placed[0].marker.id, 2) << "the others keep their order";
    EXPECT_EQ(placed[2].marker.id, 4);
    EXPECT_EQ(MarkerLayer::hitTest(placed, placed.back().head()), 1) << "and it takes a shared spot";
    // The map's own selection goes above even a raised marker.
    auto selected = MarkerLayer::place(markers, europe, 3);
    EXPECT_EQ(selected.back().marker.id, 3);
    EXPECT_EQ(selected[2].marker.id, 1);
}
