// The world map over the session controller: the current map on every Linux whatever its version,
// one marker per region with the selected one green, the camera following each new selection (at
// once and eased on the current map, one main-queue turn later on the legacy map), invalid places
// left alone, and marker clicks that select on the map only.
#include "app/classes/Preferences.h"
#include "app/views/MapView.h"
#include "app/views/MapViewForMacOS14.h"
#include "app/views/MapViewLegacy.h"
#include "platform/map/MapCamera.h"
#include "platform/map/MarkerLayer.h"
#include "platform/map/MercatorProjection.h"
#include "platform/ui/MapViewState.h"
#include "tests/app/regions_ui/RegionsUITestSupport.h"

namespace {

using namespace regionsui;
using namespace plat::ui;
using plat::Point;
using plat::Rect;
using plat::RGBA;
using plat::Size;
using plat::map::CoordinateRegion;
using plat::map::GeoCoordinate;
using plat::map::MapMarker;
using plat::map::MarkerTint;

// The place of a record as the map sees it: single precision widened.
GeoCoordinate at(double latitude, double longitude) {
    return {static_cast<double>(static_cast<float>(latitude)),
            static_cast<double>(static_cast<float>(longitude))};
}
const GeoCoordinate kMadrid = at(40.4, -3.7);
const GeoCoordinate kFrankfurt = at(50.1, 8.7);
const GeoCoordinate kTokyo = at(35.7, 139.7);

const char* const kDebian12 = "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
                              "VERSION_ID=\"12\"\nVERSION=\"12 (bookworm)\"\nID=debian\n";

class MapTest : public RegionsScreenTest {
protected:
    ~MapTest() override { MapView::setUsesLegacyMapForTesting(false); }
    // The map as a Debian 12 user gets it.
    void showMap() {
        runOnSystem(kDebian12);
        show(make<MapView>(controller_));
    }
    void showLegacyMap() {
        MapView::setUsesLegacyMapForTesting(true);
        show(make<MapView>(controller_));
    }
    bool showsCurrentMap() {
        return has(Query::where("current map",
                                [](const NodeRef& n) { return n.typeName() == "MapViewForMacOS14"; }));
    }
    NodeRef mapNode() { return node(Query::kind(ViewKind::MapView)); }
    std::vector<MapMarker> markers() { return MapViewState::contentOf(mapNode()).markers; }
    CoordinateRegion position() { return MapViewState::contentOf(mapNode()).position.get(); }
    std::optional<int64_t> mapSelection() {
        const auto& selection = MapViewState::contentOf(mapNode()).selection;
        return selection ? selection->get() : std::nullopt;
    }
    const MapMarker* marker(int64_t id) {
        markers_ = markers();
        for (const auto& m : markers_)
            if (m.id == id) return &m;
        return nullptr;
    }
    std::vector<int64_t> markerIds() {
        std::vector<int64_t> ids;
        for (const auto& m : markers())
            ids.push_back(m.id);
        return ids;
    }
    // The camera as the window would draw it now.
    const plat::map::MapCamera& camera() {
        NodeRef map = mapNode();
        state_ = MapViewState::of(map);
        state_->update(map);
        return state_->camera();
    }
    static plat::map::WorldRect rectOf(const CoordinateRegion& region) {
        return *plat::map::MercatorProjection::worldRect(region);
    }

    std::vector<MapMarker> markers_;
    std::shared_ptr<MapViewState> state_;
};

// Both maps run on every Linux; a distribution's version number says nothing about what the map
// needs.
TEST_F(MapTest, EveryLinuxGetsTheCurrentMapWhateverItsVersion) {
    for (const char* osRelease : {kDebian12, "ID=debian\nVERSION_ID=\"13\"\n",
                                  "ID=ubuntu\nVERSION_ID=\"24.04\"\n", "ID=arch\nBUILD_ID=rolling\n"}) {
        runOnSystem(osRelease);
        show(make<MapView>(controller_));
        EXPECT_TRUE(showsCurrentMap()) << osRelease;
    }
}

TEST_F(MapTest, MarkersFollowTheRegionsWithTheSelectedOneGreenAndShielded) {
    showMap();
    EXPECT_EQ(node(Query::where("current map",
                                [](const NodeRef& n) { return n.typeName() == "MapViewForMacOS14"; }))
                  .kind(),
              ViewKind::Component);
    EXPECT_TRUE(markers().empty());
    EXPECT_EQ(position(), MapViewForMacOS14::initialPosition());

    load(threePlaces());
    ASSERT_EQ(markerIds(), (std::vector<int64_t>{3, 1, 2}));
    ASSERT_TRUE(marker(3));
    EXPECT_EQ(marker(3)->tint, MarkerTint::green());
    EXPECT_EQ(marker(3)->symbolName, "checkmark.shield.fill");
    EXPECT_EQ(marker(3)->title, "Madrid");
    EXPECT_EQ(marker(3)->coordinate, kMadrid);
    EXPECT_EQ(marker(1)->tint, MarkerTint::gray());
    EXPECT_EQ(marker(1)->symbolName, "");
    EXPECT_EQ(marker(1)->title, "Frankfurt");

    EXPECT_TRUE(marker(3)->raised);
    EXPECT_FALSE(marker(1)->raised);

    // Another selection (as the list makes it) recolours both, and the green one is drawn above the
    // others even where the map's own selection is elsewhere.
    controller_->currentRegion = 1;
    host().update();
    EXPECT_EQ(marker(3)->tint, MarkerTint::gray());
    EXPECT_EQ(marker(3)->symbolName, "");
    EXPECT_EQ(marker(1)->tint, MarkerTint::green());
    EXPECT_TRUE(marker(1)->raised);
    const auto drawn = MapViewState::of(mapNode())->drawList(mapNode()).markers;
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn.back().marker.tint, MarkerTint::green());

    // A new list: the markers follow it, the camera stays until the selection publishes again.
    const CoordinateRegion before = position();
    load({{7, "Austria", "Vienna", "AT", 48.2, 16.4}, {8, "Peru", "Lima", "PE", -12, -77}});
    EXPECT_EQ(markerIds(), (std::vector<int64_t>{7, 8}));
    EXPECT_EQ(marker(7)->tint, MarkerTint::gray()) << "the selection names no loaded region";
    EXPECT_EQ(position(), before);
}

TEST_F(MapTest, TheCameraMovesToEachNewSelectionAndIgnoresUnknownOrInvalidPlaces) {
    controller_->currentRegion = std::nullopt;
    showMap();
    EXPECT_EQ(position(), MapViewForMacOS14::initialPosition());
    EXPECT_EQ(mapSelection(), std::nullopt);

    load(threePlaces()); // the default pick selects Spain
    EXPECT_EQ(position(), (CoordinateRegion{kMadrid, {20, 40}}));
    EXPECT_EQ(mapSelection(), 3);
    EXPECT_EQ(camera().targetRect(), rectOf(position()));

    controller_->currentRegion = 2;
    host().update();
    EXPECT_EQ(position(), (CoordinateRegion{kTokyo, {20, 40}})) << "at once, in the same pass";
    EXPECT_EQ(mapSelection(), 2);
    EXPECT_EQ(camera().targetRect(), rectOf(position()));
    EXPECT_EQ(MapViewState::contentOf(mapNode()).animation, plat::map::MapCamera::kDefaultAnimationDuration);

    // An id that names no region, and a place beyond the poles, leave the camera where it is;
    // the markers still recolour.
    controller_->currentRegion = 42;
    host().update();
    EXPECT_EQ(position(), (CoordinateRegion{kTokyo, {20, 40}}));
    load({{1, "Germany", "Frankfurt", "DE", 50.1, 8.7}, {9, "Nowhere", "Pole", "NO", 95, 10}});
    controller_->currentRegion = 9;
    host().update();
    EXPECT_EQ(position(), (CoordinateRegion{kTokyo, {20, 40}}));
    EXPECT_EQ(marker(9)->tint, MarkerTint::green());
    EXPECT_EQ(mapSelection(), 2);
}

TEST_F(MapTest, AMapShownWithASelectionOpensThereWithoutAMove) {
    load(threePlaces());
    showMap();
    EXPECT_EQ(position(), (CoordinateRegion{kMadrid, {20, 40}}));
    EXPECT_EQ(camera().targetRect(), rectOf(position()));
    EXPECT_FALSE(camera().isAnimating()) << "the first position is where the map opens";
}

TEST_F(MapTest, ClickingAMarkerSelectsItOnTheMapOnly) {
    load(threePlaces());
    showMap();
    const NodeRef map = mapNode();
    const auto placed = plat::map::MarkerLayer::place(markers(), camera().viewport(), mapSelection());
    auto frankfurt =
        std::find_if(placed.begin(), placed.end(), [](const auto& p) { return p.marker.id == 1; });
    ASSERT_NE(frankfurt, placed.end()) << "Frankfurt lies in the view round Madrid";
    const Point click{map.frame().x + frankfurt->anchor.x, map.frame().y + frankfurt->anchor.y};
    ASSERT_TRUE(host().mouseClick(click));
    settle();
    EXPECT_EQ(mapSelection(), 1);
    EXPECT_EQ(controller_->currentRegion.get(), 3);
    EXPECT_EQ(Preferences::configId(), 3);
    EXPECT_EQ(helper_->connects + helper_->disconnects, 0);
    // Open water selects nothing.
    EXPECT_FALSE(host().mouseClick({map.frame().x + 2, map.frame().maxY() - 2}));
    EXPECT_EQ(mapSelection(), 1);
}

TEST_F(MapTest, TheLegacyMapMovesOneTurnLaterAndShowsPlainMarkers) {
    controller_->currentRegion = std::nullopt;
    showLegacyMap();
    EXPECT_TRUE(
        has(Query::where("legacy map", [](const NodeRef& n) { return n.typeName() == "MapViewLegacy"; })));
    EXPECT_FALSE(showsCurrentMap());
    EXPECT_EQ(position(), CoordinateRegion::makeWithDistance({54, 15}, 20'000'000, 20'000'000));
    EXPECT_EQ(mapSelection(), std::nullopt) << "the legacy map keeps no selection";

    load(threePlaces());
    EXPECT_EQ(position(), CoordinateRegion::makeWithDistance(kMadrid, 10'000'000, 10'000'000));
    EXPECT_EQ(marker(3)->tint, MarkerTint::green());
    EXPECT_EQ(marker(3)->title, "");
    EXPECT_EQ(marker(3)->symbolName, "");
    EXPECT_EQ(marker(2)->tint, MarkerTint::gray());

    controller_->currentRegion = 2;
    host().update();
    EXPECT_EQ(marker(2)->tint, MarkerTint::green()) << "colours change at once";
    EXPECT_TRUE(marker(2)->raised) << "the legacy map has no selection of its own: the green one is raised";
    EXPECT_EQ(position(), CoordinateRegion::makeWithDistance(kMadrid, 10'000'000, 10'000'000));
    runOneTurn();
    host().update();
    EXPECT_EQ(position(), CoordinateRegion::makeWithDistance(kTokyo, 10'000'000, 10'000'000));
    EXPECT_EQ(camera().targetRect(), rectOf(position()));
    EXPECT_EQ(MapViewState::contentOf(mapNode()).animation, plat::Duration::zero());

    controller_->currentRegion = 42;
    settle();
    EXPECT_EQ(position(), CoordinateRegion::makeWithDistance(kTokyo, 10'000'000, 10'000'000));
}

} // namespace
