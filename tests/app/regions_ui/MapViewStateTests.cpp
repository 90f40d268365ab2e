// The toolkit's map view on its own: the camera following the bound position (eased over the
// content's animation on a manual clock), pans and wheel zooms written back through the binding,
// marker clicks writing the map's selection, the state kept per place, and the painted frame.
#include "platform/dispatch/RunLoop.h"
#include "platform/map/MapCamera.h"
#include "platform/map/MarkerLayer.h"
#include "platform/map/MercatorProjection.h"
#include "platform/render/ImageStore.h"
#include "platform/render/ui/MapPainter.h"
#include "platform/render/ui/TreePainter.h"
#include "platform/ui/Host.h"
#include "platform/ui/MapContent.h"
#include "platform/ui/MapViewState.h"
#include "platform/ui/Toolkit.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace plat::ui;
using plat::Point;
using plat::Rect;
using plat::RGBA;
using plat::Size;
using plat::map::CoordinateRegion;
using plat::map::MapMarker;
using plat::map::MarkerTint;
using namespace std::chrono_literals;

const CoordinateRegion kEurope{{48, 10}, {40, 80}};

struct Options {
    bool interactive = true;
    plat::Duration animation = plat::Duration::zero();
};

// Takes the map out of the tree and puts it back.
class Presence : public plat::ObservableObject {
public:
    plat::Published<bool> shown{this, true};
};

class MapScreen : public Screen {
public:
    MapScreen(Options options, std::shared_ptr<Presence> presence)
        : options(options), presence(std::move(presence)) {}
    AnyView body() const override {
        MapContent content;
        content.position = position.binding();
        content.markers = {
            MapMarker{5, {48.9, 2.4}, "Paris", MarkerTint::gray(), ""},
            MapMarker{6, {52.5, 13.4}, "Berlin", MarkerTint::green(), "checkmark.shield.fill"}};
        content.selection = selection.binding();
        content.interactive = options.interactive;
        content.animation = options.animation;
        return If(presence->shown.get(), Map(std::move(content)));
    }
    Options options;
    ObservedObject<Presence> presence;
    State<CoordinateRegion> position{kEurope};
    State<std::optional<int64_t>> selection{std::nullopt};
};

class MapViewStateTest : public ::testing::Test {
protected:
    void show(Options options = {}) {
        HostOptions hostOptions;
        hostOptions.contentSize = {400, 300};
        host_ = std::make_unique<Host>(make<MapScreen>(options, presence_), hostOptions);
        host_->update();
    }
    ~MapViewStateTest() override {
        host_.reset();
        plat::RunLoop::main().drain();
    }
    NodeRef map() { return host_->find(Query::kind(ViewKind::MapView)); }
    CoordinateRegion position() { return MapViewState::contentOf(map()).position.get(); }
    std::optional<int64_t> selection() { return MapViewState::contentOf(map()).selection->get(); }
    std::shared_ptr<MapViewState> state() {
        auto s = MapViewState::of(map());
        s->update(map());
        return s;
    }
    Point windowPoint(plat::Point p) { return {map().frame().x + p.x, map().frame().y + p.y}; }

    testsupport::TempHome home_;
    std::shared_ptr<Presence> presence_ = std::make_shared<Presence>();
    std::unique_ptr<Host> host_;
};

TEST_F(MapViewStateTest, DraggingPansAndTheWheelZoomsAndBothWriteTheShownRegionBack) {
    show();
    ASSERT_EQ(map().frame().width, 400);
    const auto camera = state();
    const CoordinateRegion start = position();

    ASSERT_TRUE(host_->mouseDown({200, 150}));
    host_->mouseDragged({260, 150});
    host_->mouseDragged({300, 150});
    host_->mouseUp({300, 150});
    const CoordinateRegion panned = position();
    EXPECT_LT(panned.center.longitude, start.center.longitude - 5) << "dragging east shows what lies west";
    EXPECT_NEAR(panned.center.latitude, start.center.latitude, 0.5);
    EXPECT_EQ(camera->camera().region(), panned) << "the binding holds what the view shows";
    EXPECT_EQ(state()->camera().region(), panned) << "and reading it back does not move the camera";

    ASSERT_TRUE(host_->scrollWheel({200, 150}, 2));
    EXPECT_LT(position().span.longitudeDelta, panned.span.longitudeDelta / 1.5);
    EXPECT_EQ(selection(), std::nullopt) << "pans and zooms select nothing";
}

TEST_F(MapViewStateTest, AMapThatIsNotInteractiveIgnoresThePointer) {
    show({.interactive = false});
    const CoordinateRegion start = position();
    host_->mouseDown({200, 150});
    host_->mouseDragged({300, 200});
    host_->mouseUp({300, 200});
    host_->scrollWheel({200, 150}, 3);
    EXPECT_EQ(position(), start);
    EXPECT_FALSE(host_->mouseClick(
        windowPoint(state()->camera().viewport().viewPoint(plat::map::GeoCoordinate{52.5, 13.4}).value())));
}

TEST_F(MapViewStateTest, ANewPositionIsEasedOverTheContentsAnimation) {
    show({.animation = 300ms});
    plat::ManualClock clock;
    MapViewState timed(clock);
    timed.update(map());
    EXPECT_FALSE(timed.isAnimating()) << "the first position is where the map opens";
    const auto from = plat::map::MercatorProjection::worldRect(kEurope)->center;

    const CoordinateRegion tokyo{{35.7, 139.7}, {20, 40}};
    MapViewState::contentOf(map()).position.set(tokyo);
    host_->update();
    timed.update(map());
    const auto to = plat::map::MercatorProjection::worldRect(tokyo)->center;
    EXPECT_TRUE(timed.isAnimating());
    EXPECT_NEAR(timed.camera().viewport().visibleRect().center.x, from.x, 1e-9);
    clock.advance(150ms);
    const double halfway = timed.camera().viewport().visibleRect().center.x;
    EXPECT_GT(halfway, from.x + 0.01);
    EXPECT_LT(halfway, to.x - 0.01);
    clock.advance(150ms);
    EXPECT_FALSE(timed.isAnimating());
    EXPECT_NEAR(timed.camera().viewport().visibleRect().center.x, to.x, 1e-9);
}

TEST_F(MapViewStateTest, AClickOnAMarkerSelectsItAndOpenWaterDoesNot) {
    show();
    const auto camera = state();
    const auto placed =
        plat::map::MarkerLayer::place(MapViewState::contentOf(map()).markers, camera->camera().viewport());
    ASSERT_EQ(placed.size(), 2u);
    const auto& paris = placed[0].marker.id == 5 ? placed[0] : placed[1];
    // A press released where it began is a click on the marker; one dragged from the other marker
    // pans the map and selects nothing.
    const Point head = windowPoint(paris.head());
    ASSERT_TRUE(host_->mouseDown(head));
    host_->mouseUp(head);
    EXPECT_EQ(selection(), 5);
    const Point other = windowPoint((placed[0].marker.id == 5 ? placed[1] : placed[0]).head());
    const double centre = state()->camera().viewport().visibleRect().center.x;
    ASSERT_TRUE(host_->mouseDown(other));
    host_->mouseDragged({other.x + 30, other.y});
    host_->mouseUp({other.x + 30, other.y});
    EXPECT_EQ(selection(), 5);
    EXPECT_NE(state()->camera().viewport().visibleRect().center.x, centre) << "the drag panned the map";
    EXPECT_FALSE(host_->mouseClick({5, 295}));
    EXPECT_EQ(selection(), 5);
}

TEST_F(MapViewStateTest, TheStateStaysWithThePlaceAndANewPlaceStartsAgain) {
    show();
    const auto first = state();
    host_->scrollWheel({200, 150}, 1); // writes the position: the screen rebuilds the map
    EXPECT_EQ(MapViewState::of(map()), first);
    presence_->shown = false;
    host_->update();
    EXPECT_FALSE(map());
    presence_->shown = true;
    host_->update();
    EXPECT_NE(MapViewState::of(map()), first);
    EXPECT_EQ(MapViewState::of(host_->find(Query::kind(ViewKind::Text))), nullptr)
        << "only map nodes have one";
}

TEST_F(MapViewStateTest, ThePainterDrawsWaterLandAndMarkersInsideTheMapsFrame) {
    show();
    plat::render::TreePainter painter;
    host_->render(painter);
    const auto& commands = painter.window().commands();
    ASSERT_TRUE(painter.window().clipsBalanced());
    // Water, land, coasts and pins are one picture of the map's pixels; symbols and titles go over it.
    std::shared_ptr<const plat::render::Bitmap> picture;
    size_t shields = 0, titles = 0;
    for (const auto& command : commands) {
        if (auto* image = std::get_if<plat::render::cmd::Image>(&command))
            if (image->pixels) picture = image->pixels;
        if (auto* s = std::get_if<plat::render::cmd::Symbol>(&command))
            if (s->name == "checkmark.shield.fill") ++shields;
        if (auto* t = std::get_if<plat::render::cmd::Text>(&command))
            if (t->text == "Paris" || t->text == "Berlin") ++titles;
    }
    ASSERT_TRUE(picture);
    const Rect frame = map().frame();
    EXPECT_EQ(picture->width, static_cast<int>(frame.width));
    EXPECT_EQ(picture->height, static_cast<int>(frame.height));
    auto near = [](uint32_t rgba, const RGBA& c) {
        auto close = [](uint32_t v, float f) {
            return std::abs(static_cast<int>(v) - static_cast<int>(f * 255)) <= 3;
        };
        return close(rgba >> 24, c.r) && close((rgba >> 16) & 0xFF, c.g) && close((rgba >> 8) & 0xFF, c.b);
    };
    size_t landPixels = 0;
    for (int y = 0; y < picture->height; y += 2)
        for (int x = 0; x < picture->width; x += 2)
            landPixels += near(picture->pixel(x, y), plat::map::MapStyle{}.land);
    EXPECT_GT(landPixels, 1000u) << "Europe is mostly land";
    // The selected pin's head is green just inside its rim.
    const auto drawn = state()->drawList(map());
    bool green = false;
    for (const auto& placed : drawn.markers) {
        if (!(placed.marker.tint == MarkerTint::green())) continue;
        const auto head = placed.head();
        green =
            near(picture->pixel(static_cast<int>(head.x), static_cast<int>(head.y - placed.kHeadRadius + 4)),
                 MarkerTint::green());
    }
    EXPECT_TRUE(green);
    EXPECT_EQ(shields, 1u);
    EXPECT_EQ(titles, 2u);
    EXPECT_FALSE(painter.animating());

    // Drawn again with nothing changed, the picture is the same one (the window keeps its texture).
    host_->render(painter);
    for (const auto& command : painter.window().commands())
        if (auto* image = std::get_if<plat::render::cmd::Image>(&command); image && image->pixels) {
            EXPECT_EQ(image->pixels, picture);
        }
}

TEST_F(MapViewStateTest, FlagsAreImagesOnceAPainterExists) {
    ASSERT_TRUE(std::filesystem::exists(std::filesystem::path("/usr/share/iso-flags-png-320x240") / "es.png"))
        << "the system flag set is not installed (scripts/deps.sh installs iso-flags-png-320x240)";
    plat::render::TreePainter painter;
    auto spain = plat::render::ImageStore::shared().image("es");
    ASSERT_TRUE(spain);
    // Kept at twice the size the rows draw flags, not at the set's 320 by 240.
    EXPECT_EQ(spain->width, 100);
    EXPECT_EQ(spain->height, 75);
    EXPECT_TRUE(plat::render::ImageStore::shared().image("uk")) << "aliases reach the flag set";
    EXPECT_FALSE(plat::render::ImageStore::shared().image("qq")) << "a code with no flag";
    EXPECT_TRUE(plat::render::ImageStore::shared().image("logo")) << "bundle images still come first";
}

} // namespace
