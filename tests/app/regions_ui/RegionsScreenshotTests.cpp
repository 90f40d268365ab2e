// The region list beside the world map in a real window under a display, written as screenshots
// ($VELMORA_SCREENSHOT_DIR, else "screenshots" in the working folder): the list with its flags and
// the map with the selected region's green marker, alone and inside the main window's full layout.
#include "app/classes/Preferences.h"
#include "app/views/MapView.h"
#include "app/views/VPNMainView.h"
#include "app/views/VPNRegionsView.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/map/MarkerLayer.h"
#include "platform/render/Bitmap.h"
#include "platform/render/WindowSystem.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/render/ui/HostWindow.h"
#include "platform/ui/MapViewState.h"
#include "tests/app/regions_ui/RegionsUITestSupport.h"
#include "tests/render/XServer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace regionsui;
using namespace plat::ui;
using namespace std::chrono_literals;

bool near(uint32_t rgba, plat::RGBA c) {
    auto channel = [&](int shift, float v) {
        return std::abs(static_cast<int>((rgba >> shift) & 0xFF) - static_cast<int>(v * 255)) <= 12;
    };
    return channel(24, c.r) && channel(16, c.g) && channel(8, c.b);
}

class RegionsOnDisplay : public RegionsScreenTest {
protected:
    void SetUp() override { REQUIRE_DISPLAY(); }
    ~RegionsOnDisplay() override {
        onScreen_.reset();
        plat::ProcessInfo::processInfo().overrideOperatingSystemVersion(std::nullopt);
    }
    // Shows `screen` at 800 × 600 in a real window and turns the event loop until the regions are in.
    void showOnScreen(AnyView screen) {
        HostOptions options;
        options.contentSize = {800, 600};
        options.metrics = std::make_shared<plat::render::FontMetrics>();
        show(std::move(screen), options);
        plat::render::WindowOptions w;
        w.title = "Velmora";
        w.contentSize = {800, 600};
        auto* h = &host();
        onScreen_ = std::make_unique<plat::render::HostWindow>(sharedHost(), w, [h] { return h->focused(); });
        ASSERT_TRUE(plat::render::WindowSystem::shared().runUntil(
            [&] { return controller_->regions.get().size() == 3; }, 5s));
        // Long enough for the camera's eased move to end.
        plat::render::WindowSystem::shared().runUntil([] { return false; }, 500ms);
    }
    plat::render::Bitmap screenshot(const std::string& name) {
        const char* dir = std::getenv("VELMORA_SCREENSHOT_DIR");
        const auto shots = dir ? std::filesystem::path(dir) : std::filesystem::current_path() / "screenshots";
        std::filesystem::create_directories(shots);
        const auto path = shots / (name + ".png");
        EXPECT_TRUE(onScreen_->writeScreenshots(path)) << path;
        auto bitmap = plat::render::Bitmap::readPng(path);
        EXPECT_TRUE(bitmap) << path;
        return bitmap.value_or(plat::render::Bitmap{});
    }
    // The selected marker's head drawn green, and the map (water or land) at the bottom-left corner
    // of its visible part.
    void expectMapDrawn(const plat::render::Bitmap& shot) {
        const NodeRef map = node(Query::kind(ViewKind::MapView));
        auto state = MapViewState::of(map);
        state->update(map);
        const auto placed =
            plat::map::MarkerLayer::place(MapViewState::contentOf(map).markers, state->camera().viewport(),
                                          controller_->currentRegion.get());
        ASSERT_FALSE(placed.empty());
        const auto& top = placed.back(); // the selected marker is drawn last
        ASSERT_EQ(top.marker.id, controller_->currentRegion.get());
        const int hx = static_cast<int>(map.frame().x + top.head().x - 11); // between the symbol and the rim
        const int hy = static_cast<int>(map.frame().y + top.head().y);
        EXPECT_TRUE(near(shot.pixel(hx, hy), plat::map::MarkerTint::green()))
            << std::hex << shot.pixel(hx, hy);
        const double bottom = std::min(map.frame().maxY(), static_cast<double>(shot.height));
        const uint32_t corner = shot.pixel(static_cast<int>(map.frame().x + 3), static_cast<int>(bottom - 3));
        EXPECT_TRUE(near(corner, plat::map::MapStyle{}.water) || near(corner, plat::map::MapStyle{}.land))
            << std::hex << corner;
    }

    std::unique_ptr<plat::render::HostWindow> onScreen_;
};

TEST_F(RegionsOnDisplay, TheRegionListBesideTheMap) {
    plat::ProcessInfo::processInfo().overrideOperatingSystemVersion(plat::OperatingSystemVersion{14, 0, 0});
    arm(threePlaces());
    showOnScreen(
        HStack(VAlign::Center, {make<VPNRegionsView>(controller_).frame(300), make<MapView>(controller_)}));
    const auto shot = screenshot("regions-list-and-map");
    ASSERT_EQ(shot.width, 800);
    expectMapDrawn(shot);
    // Spain's flag fills the first row's flag frame: red and yellow, never the list's white.
    const NodeRef flag = rows().front().find(Query::kind(ViewKind::Image));
    const int fx = static_cast<int>(flag.frame().x + flag.frame().width / 2);
    const int fy = static_cast<int>(flag.frame().y + flag.frame().height / 2);
    EXPECT_NE(shot.pixel(fx, fy) >> 8, 0xFFFFFFu) << "the flag of Spain";
}

TEST_F(RegionsOnDisplay, TheMainWindowsFullLayoutWithTheMap) {
    Preferences::setToken("tok");
    Preferences::setEmail("user@example.org");
    Preferences::setCompactView(false);
    arm(threePlaces());
    auto c = controller_;
    showOnScreen(make<VPNMainView>(false, [c] { return c; }));
    const bool hostsList =
        has(Query::where("list", [](const NodeRef& n) { return n.typeName() == "VPNRegionsView"; }));
    const bool hostsMap =
        has(Query::where("map", [](const NodeRef& n) { return n.typeName() == "MapView"; }));
    const auto shot = screenshot("regions-main-window");
    ASSERT_TRUE(hostsList && hostsMap) << "the main window lays out the region list and the map";
    expectMapDrawn(shot);
}

} // namespace
