// Each sheet presented over a window on a real display, against the stand-in, written as a
// screenshot ($VELMORA_SCREENSHOT_DIR, else "screenshots" in the working folder): the settings,
// the device list (while it loads and loaded) and the plan cards.
#if defined(VELMORA_SHEETS_ON_DISPLAY)

#include "app/views/ManageDevicesView.h"
#include "app/views/PricingView.h"
#include "app/views/SettingsView.h"
#include "platform/appkit/Workspace.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/render/Bitmap.h"
#include "platform/render/GlWindow.h"
#include "platform/render/WindowSystem.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/render/ui/HostWindow.h"
#include "tests/app/sheets/SheetTestSupport.h"
#include "tests/render/XServer.h"
#include "tests/support/WaitFor.h"

#include <cmath>
#include <filesystem>
#include <set>

namespace {

using namespace sheettest;
using namespace std::chrono_literals;
using plat::render::HostWindow;
using plat::render::WindowSystem;
namespace ui = plat::ui;

class SheetsOnDisplay : public SheetTest {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        signInDemo();
        const char* dir = std::getenv("VELMORA_SCREENSHOT_DIR");
        shots_ = dir ? std::filesystem::path(dir) : std::filesystem::current_path() / "screenshots";
        std::filesystem::create_directories(shots_);
    }
    void TearDown() override {
        onScreen_.reset();
        host_.reset();
        settle();
    }

    // A plain window presenting `sheet` as its sheet, as the main window does.
    void present(ui::AnyView sheet, double width = 800) {
        ui::HostOptions options;
        options.contentSize = {width, 600};
        options.metrics = std::make_shared<plat::render::FontMetrics>();
        ui::AnyView backdrop = ui::VStack({ui::Spacer()})
                                   .frame(ui::FrameSpec{.maxWidth = ui::infinity, .maxHeight = ui::infinity})
                                   .background(ui::Color::white())
                                   .sheet(plat::Binding<bool>::constant(true), [sheet] { return sheet; })
                                   .environmentObject(vm_);
        host_ = std::make_shared<ui::Host>(backdrop, options);
        plat::render::WindowOptions w;
        w.title = "Velmora";
        w.contentSize = {width, 600};
        onScreen_ = std::make_unique<HostWindow>(host_, w);
        ASSERT_TRUE(until([&] { return onScreen_->sheetCount() == 1; }));
    }
    bool until(const std::function<bool()>& done) {
        return WindowSystem::shared().runUntil(done, testsupport::kPatience);
    }
    bool has(const ui::Query& q) const { return static_cast<bool>(host_->find(q)); }

    // Writes the window and its sheet; returns the sheet's image.
    plat::render::Bitmap screenshot(const std::string& name) {
        WindowSystem::shared().runUntil([] { return false; }, 100ms);
        onScreen_->display();
        const auto path = shots_ / (name + ".png");
        EXPECT_TRUE(onScreen_->writeScreenshots(path)) << path;
        auto sheet = plat::render::Bitmap::readPng(shots_ / (name + "-sheet1.png"));
        EXPECT_TRUE(sheet) << name;
        return sheet.value_or(plat::render::Bitmap{});
    }
    // The colour at the centre of a node, in the sheet image.
    uint32_t colourAt(const plat::render::Bitmap& sheet, const ui::NodeRef& node) const {
        const plat::Rect origin = host_->sheets().front().frame();
        const plat::Rect f = node.frame();
        return sheet.pixel(static_cast<int>(f.x - origin.x + 4),
                           static_cast<int>(f.y - origin.y + f.height / 2));
    }
    static size_t distinctColours(const plat::render::Bitmap& image) {
        std::set<uint32_t> colours;
        for (int y = 0; y < image.height; y += 4)
            for (int x = 0; x < image.width; x += 4)
                colours.insert(image.pixel(x, y));
        return colours.size();
    }

    std::shared_ptr<ui::Host> host_;
    std::unique_ptr<HostWindow> onScreen_;
    std::filesystem::path shots_;
};

TEST_F(SheetsOnDisplay, Settings) {
    present(ui::make<SettingsView>(controller_, VPNProtocol::Optimal));
    ASSERT_TRUE(has(ui::Query::toggle("Compact View")));
    auto image = screenshot("sheet-settings");
    EXPECT_GE(image.width, 600);
    EXPECT_GE(image.height, 400);
    EXPECT_GT(distinctColours(image), 8u) << "texts and switches were drawn";
}

TEST_F(SheetsOnDisplay, ManageDevices) {
    // A slow list, held by the stand-in until the loading sheet was looked at: the sheet shows its
    // indicator first, with the close button already in its corner.
    server_.setFault("devices", standin::Fault{standin::Fault::Kind::Hold});
    present(ui::make<ManageDevicesView>(controller_));
    ASSERT_TRUE(has(ui::Query::text("Loading devices...")));
    screenshot("sheet-devices-loading");
    const plat::Rect closeWhileLoading = host_->require(ui::Query::testId("closeButton")).frame();
    ASSERT_TRUE(until([&] { return server_.held() == 1; }));
    server_.clearFault("devices");
    server_.releaseHeld();
    ASSERT_TRUE(until([&] { return has(ui::Query::text("Name: Studio MacBook")); }));
    EXPECT_EQ(host_->require(ui::Query::testId("closeButton")).frame().y, closeWhileLoading.y);
    auto image = screenshot("sheet-devices");
    EXPECT_GE(image.width, 500);
    EXPECT_GE(image.height, 400);
    EXPECT_GT(distinctColours(image), 8u);
}

TEST_F(SheetsOnDisplay, Plans) {
    // Blue, or mostly blue over the sheet's background: a border or a capsule drawn there.
    auto blue = [](uint32_t rgba) {
        return static_cast<int>((rgba >> 8) & 0xFF) - static_cast<int>(rgba >> 24) > 100;
    };
    for (const char* language : {"en", "es"}) {
        SCOPED_TRACE(language);
        plat::UserDefaults::standard().set("AppleLanguages",
                                           plat::Object(plat::Object::Array{plat::Object(language)}));
        plat::Localization::shared().resetForTesting();
        // Over the compact window, narrower than the sheet, which takes its least width.
        present(ui::make<PricingView>(controller_).environment([](ui::EnvironmentValues& env) {
            env.localize = plat::LocalizedString;
        }),
                300);
        ASSERT_TRUE(until([&] { return host_->count(ui::Query::testId("PlanRow")) == 4; }));
        auto image = screenshot(std::string("sheet-plans-") + language);
        const plat::Rect origin = host_->sheets().front().frame();
        // Whether the last two pixel columns inside `f` show blue at the height of its middle.
        auto blueAtRightEnd = [&](const plat::Rect& f) {
            const int last = static_cast<int>(std::floor(f.maxX() - origin.x - 0.5));
            const int y = static_cast<int>(f.center().y - origin.y);
            return blue(image.pixel(last, y)) || blue(image.pixel(last - 1, y));
        };
        // Each card keeps its border at its right edge, and its button the round end of its
        // capsule: nothing is cut off the right of the frame it was laid out in.
        for (const ui::NodeRef& card : host_->findAll(ui::Query::testId("PlanRow"))) {
            const ui::NodeRef get = card.find(ui::Query::kind(ui::ViewKind::Button));
            EXPECT_EQ(get.text(), std::string(language) == "es" ? "   Obtener   " : "   Get   ");
            EXPECT_LE(card.frame().maxX(), origin.maxX());
            EXPECT_TRUE(blueAtRightEnd(card.frame())) << card.frame().maxX() - origin.x;
            EXPECT_TRUE(blueAtRightEnd(get.frame())) << get.frame().maxX() - origin.x;
            EXPECT_TRUE(blue(colourAt(image, get))) << std::hex << colourAt(image, get);
        }
    }
    plat::UserDefaults::resetForTesting();
    plat::Localization::shared().resetForTesting();
}

TEST_F(SheetsOnDisplay, PlansSheetGrowsCentredAndGetOpensThatPlansCheckout) {
    // The first answer fails: the sheet opens small, with the message and "Retry".
    server_.setFault("vpn/plans", standin::Fault{standin::Fault::Kind::Empty});
    present(ui::make<PricingView>(controller_));
    ASSERT_TRUE(
        until([&] { return has(ui::Query::button("Retry")) && requests("GET", "/api/vpn/plans") == 1; }));
    WindowSystem::shared().runUntil([] { return false; }, 100ms);
    auto* sheet = dynamic_cast<plat::render::GlWindow*>(onScreen_->sheet(0));
    ASSERT_NE(sheet, nullptr);
    const float smallWidth = sheet->contentSize().width;
    EXPECT_LT(smallWidth, 400);
    // A click as the user makes it, in the sheet window's own coordinates.
    auto clickOnSheet = [&](const ui::NodeRef& node) {
        const plat::Rect origin = host_->sheets().front().frame();
        const plat::Point centre = node.frame().center();
        sheet->simulateMouseClick({centre.x - origin.x, centre.y - origin.y});
        WindowSystem::shared().runUntil([] { return false; }, 50ms);
    };

    server_.clearFaults();
    clickOnSheet(host_->require(ui::Query::button("Retry")));
    ASSERT_TRUE(until([&] { return host_->count(ui::Query::testId("PlanRow")) == 4; }));
    ASSERT_TRUE(until([&] { return sheet->contentSize().width > 700; }));
    // Grown, the sheet window is still centred on the main window.
    const plat::Rect frame = host_->sheets().front().frame();
    EXPECT_NEAR(sheet->contentSize().width, frame.width, 1);
    EXPECT_NEAR(sheet->position().x - onScreen_->surface().position().x, std::max(0.0, frame.x), 1);
    screenshot("sheet-plans-grown");

    // "Get" on the second card opens the second plan's checkout, and only that.
    links_->clear();
    const auto cards = host_->findAll(ui::Query::testId("PlanRow"));
    ASSERT_EQ(cards.size(), 4u);
    clickOnSheet(cards[1].find(ui::Query::button("   Get   ")));
    ASSERT_EQ(links_->size(), 1u);
    EXPECT_NE(links_->front().find("/checkout?plan="), std::string::npos) << links_->front();
    const std::string second = links_->front();
    clickOnSheet(cards[3].find(ui::Query::button("   Get   ")));
    ASSERT_EQ(links_->size(), 2u);
    EXPECT_NE(links_->back(), second) << "each card opens its own plan";
    // With nothing on the desktop to open it, the click brings up an alert with the address,
    // drawn in the sheet's window.
    plat::Workspace::shared().setLauncherForTesting([](const std::vector<std::string>&) { return false; });
    clickOnSheet(cards[0].find(ui::Query::button("   Get   ")));
    ASSERT_TRUE(until([&] { return !host_->alerts().empty(); }));
    EXPECT_NE(host_->alerts().front().text().find("/checkout?plan="), std::string::npos);
    screenshot("sheet-plans-link-alert");
    const plat::Rect ok = host_->alerts().front().find(ui::Query::button("OK")).frame();
    sheet->simulateMouseClick({ok.center().x - frame.x, ok.center().y - frame.y});
    ASSERT_TRUE(until([&] { return host_->alerts().empty(); }));
    plat::Workspace::shared().setLauncherForTesting([links = links_](const std::vector<std::string>& argv) {
        links->push_back(argv.back());
        return true;
    });

    // Empty space beside a card opens nothing.
    const plat::Rect between = cards[1].frame();
    sheet->simulateMouseClick({between.maxX() + 10 - frame.x, between.center().y - frame.y});
    WindowSystem::shared().runUntil([] { return false; }, 50ms);
    EXPECT_EQ(links_->size(), 2u);
}

} // namespace

#endif
