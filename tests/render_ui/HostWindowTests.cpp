// A toolkit tree in a real window: drawing, clicks and typing through the event loop, sheets as
// child windows, screenshots, and the focus ring around blue buttons.
#include "platform/render/Bitmap.h"
#include "platform/ui/Toolkit.h"
#include "tests/render_ui/HostWindowFixture.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using namespace plat;
using namespace plat::ui;
using namespace std::chrono_literals;
using plat::render::GlWindow;
using plat::render::WindowSystem;

struct Counter : Screen {
    State<int> count{0};
    State<std::string> name{std::string()};
    State<bool> showSheet{false};
    AnyView body() const override {
        return VStack({
                          Text(TextValue::verbatim("Count " + std::to_string(count()))),
                          Button("Add", [this] { count.set(count() + 1); })
                              .buttonStyle(ButtonStyle::Plain)
                              .frame(120, 40)
                              .background(Color::red())
                              .testId("add"),
                          TextField("Name", name.binding()).frame(200),
                          Button("Open", [this] { showSheet.set(true); }),
                      })
            .frame(400, 300)
            .background(Color::white())
            .sheet(showSheet.binding(), [this] {
                return VStack({Text("Sheet"), Button("Close", [this] { showSheet.set(false); })}).padding(30);
            });
    }
};

class HostWindowTest : public HostWindowFixture {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        open(make<Counter>(), "Counter", /*followFocus=*/true);
    }
    static plat::Point centre(const NodeRef& n) { return HostWindowFixture::centre(n.frame()); }
};

TEST_F(HostWindowTest, AClickOnTheWindowPressesTheButtonUnderIt) {
    gl().simulateMouseClick(centre(host->require(Query::testId("add"))));
    ASSERT_TRUE(
        WindowSystem::shared().runUntil([&] { return bool(host->find(Query::text("Count 1"))); }, 2s));
    // A click beside it does nothing.
    gl().simulateMouseClick({395, 5});
    WindowSystem::shared().runUntil([] { return false; }, 100ms);
    EXPECT_TRUE(host->find(Query::text("Count 1")));
    // The window shows the tree: the red button is there.
    int w = 0, h = 0;
    auto pixels = window->surface().readPixels(&w, &h);
    const auto p = centre(host->require(Query::testId("add")));
    const size_t i = (static_cast<size_t>(p.y) * static_cast<size_t>(w) + static_cast<size_t>(p.x - 50)) * 4;
    EXPECT_GT(pixels[i], 200);
    EXPECT_LT(pixels[i + 1], 120);
}

TEST_F(HostWindowTest, TypedTextGoesToTheFocusedField) {
    gl().simulateMouseClick(centre(host->require(Query::placeholder("Name"))));
    WindowSystem::shared().runUntil([&] { return bool(host->focused()); }, 2s);
    ASSERT_TRUE(host->focused());
    gl().simulateText("Ana");
    gl().simulateKey(plat::render::keys::Backspace);
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return host->focused().value() == "An"; }, 2s))
        << host->focused().value();
}

TEST_F(HostWindowTest, ASheetOpensAsAChildWindowThatTakesTheInput) {
    gl().simulateMouseClick(centre(host->require(Query::button("Open"))));
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return window->sheetCount() == 1; }, 2s));
    auto* sheet = window->sheet(0);
    EXPECT_FALSE(window->surface().acceptsInput());
    EXPECT_EQ(sheet->parent(), &window->surface());
    const Rect sheetFrame = host->sheets().at(0).frame();
    EXPECT_NEAR(sheet->contentSize().width, sheetFrame.width, 1); // whole pixels

    testsupport::TempHome home;
    ASSERT_TRUE(window->writeScreenshots(home.path() / "counter.png"));
    EXPECT_TRUE(plat::render::Bitmap::readPng(home.path() / "counter.png"));
    EXPECT_TRUE(plat::render::Bitmap::readPng(home.path() / "counter-sheet1.png"));

    // A click in the sheet window, at the close button's place in the sheet's own coordinates.
    const Rect close = host->require(Query::button("Close")).frame();
    static_cast<GlWindow*>(sheet)->simulateMouseClick(
        {close.x - sheetFrame.x + close.width / 2, close.y - sheetFrame.y + close.height / 2});
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return window->sheetCount() == 0; }, 2s));
    EXPECT_TRUE(window->surface().acceptsInput());
}

TEST_F(HostWindowTest, TheKeyboardFocusOfTheWindowAndItsSheetsIsReportedAsOne) {
    std::vector<bool> reports;
    window->setFocusHandler([&](bool focused) { reports.push_back(focused); });
    auto settle = [] { WindowSystem::shared().runUntil([] { return false; }, 50ms); };

    // The display may have given the new window the keyboard already: start from a known state.
    gl().simulateFocus(false);
    gl().simulateFocus(true);
    settle();
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(reports.back());

    // The keyboard moving into the sheet keeps the window focused as a whole.
    gl().simulateMouseClick(centre(host->require(Query::button("Open"))));
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return window->sheetCount() == 1; }, 2s));
    auto* sheet = static_cast<GlWindow*>(window->sheet(0));
    sheet->simulateFocus(true);
    gl().simulateFocus(false);
    settle();
    EXPECT_TRUE(reports.back());

    // The sheet closing with the keyboard, while the window does not have it, is a loss.
    const size_t before = reports.size();
    const Rect sheetFrame = host->sheets().at(0).frame();
    const Rect close = host->require(Query::button("Close")).frame();
    sheet->simulateMouseClick(
        {close.x - sheetFrame.x + close.width / 2, close.y - sheetFrame.y + close.height / 2});
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return window->sheetCount() == 0; }, 2s));
    settle();
    ASSERT_GT(reports.size(), before);
    EXPECT_FALSE(reports[before]);
    gl().simulateFocus(false);
    settle();
    EXPECT_FALSE(reports.back());
}

TEST_F(HostWindowTest, ResizingTheWindowLaysTheTreeOutAgainButNeverBelowTheContentsMinimum) {
    window->surface().setContentSize({500, 600});
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return host->contentSize() == Size{500, 600}; }, 2s));
    // The content is framed at 400 by 300: a smaller window would cut it off.
    EXPECT_EQ(host->minimumContentSize(), (Size{400, 300}));
    window->surface().setContentSize({300, 200});
    ASSERT_TRUE(WindowSystem::shared().runUntil(
        [&] {
            return host->contentSize() == Size{400, 300};
        },
        2s))
        << describe(host->contentSize());
    EXPECT_EQ(window->surface().contentSize().width, 400);
    EXPECT_EQ(window->surface().contentSize().height, 300);
}

} // namespace

namespace {

// Two blue buttons as the screens draw them: the blue inside the button's label, and the button
// on a blue background that a rounded shape clips.
struct BlueButtons : Screen {
    AnyView body() const override {
        AnyView inside = Text("Login").foregroundColor(Color::white()).padding(10).background(Color::blue());
        AnyView outside = Text("Remove profile").foregroundColor(Color::white()).padding(8);
        return VStack({Button([] {}, inside).buttonStyle(ButtonStyle::Plain).testId("inside"),
                       Button([] {}, outside)
                           .buttonStyle(ButtonStyle::Plain)
                           .testId("outside")
                           .background(Color::blue())
                           .clipShape(Shape::roundedRectangle(5, true))})
            .frame(400, 300)
            .background(Color::white());
    }
};

class FocusRingTest : public HostWindowFixture {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        open(make<BlueButtons>(), "Focus", /*followFocus=*/true);
    }
};

TEST_F(FocusRingTest, AFocusedBlueButtonShowsAnAccentRingWithALightBandBetween) {
    for (const char* id : {"inside", "outside"}) {
        SCOPED_TRACE(id);
        const NodeRef button = host->require(Query::testId(id));
        gl().simulateKey(plat::render::keys::Tab);
        ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return host->focused() == button; }, 2s));
        window->display();
        int w = 0, h = 0;
        const auto pixels = window->surface().readPixels(&w, &h);
        const double scale = static_cast<double>(w) / 400.0;
        auto at = [&](double x, double y) {
            const size_t i =
                (static_cast<size_t>(y * scale) * static_cast<size_t>(w) + static_cast<size_t>(x * scale)) *
                4;
            return std::array<int, 3>{pixels[i], pixels[i + 1], pixels[i + 2]};
        };
        auto light = [](std::array<int, 3> p) { return p[0] > 230 && p[1] > 230 && p[2] > 230; };
        auto accent = [](std::array<int, 3> p) { return p[0] < 60 && p[2] > 200; };
        // Going out from an edge of the button: a light pixel (the band), then a solid accent one.
        auto ringed = [&](Point from, Point step) {
            bool band = false;
            for (int i = 0; i <= 8; ++i) {
                const auto p = at(from.x + step.x * i, from.y + step.y * i);
                if (light(p)) band = true;
                if (band && accent(p)) return true;
            }
            return false;
        };
        const Rect f = button.frame();
        EXPECT_TRUE(ringed({f.maxX(), f.y + f.height / 2}, {1, 0})) << "right of it";
        EXPECT_TRUE(ringed({f.x + f.width / 2, f.y}, {0, -1})) << "above it";
    }
}

} // namespace
