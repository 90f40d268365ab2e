// An open menu in a real window: its panel and rows are drawn over the content, the row under the
// pointer is highlighted, a click on a row chooses the item, Escape closes it, the wheel scrolls
// a list under the pointer, and the keys are the menu's while it is open, not the focused field's.
#include "platform/ui/ScrollState.h"
#include "platform/ui/Toolkit.h"
#include "tests/render_ui/HostWindowFixture.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace {

using namespace plat;
using namespace plat::ui;
using namespace std::chrono_literals;
using plat::render::WindowSystem;

struct Account : Screen {
    State<std::string> chosen{std::string("none")};
    State<std::string> note{std::string()};
    AnyView body() const override {
        auto item = [this](const char* title) {
            return Button([this, title] { chosen.set(title); }, Text(title));
        };
        std::vector<AnyView> rows;
        for (int i = 0; i < 60; ++i)
            rows.push_back(Text(TextValue::verbatim("Row " + std::to_string(i))));
        return VStack(HAlign::Leading,
                      {Menu(TextValue::verbatim("me@example.com"),
                            {item("Settings"), item("Manage Devices"), item("Customer support"), Divider(),
                             item("Log out")})
                           .testId("account"),
                       Text(TextValue::verbatim("Chosen " + chosen())), List(std::move(rows)).frame(300, 150),
                       Spacer(), TextField("Note", note.binding()).frame(200)})
            .frame(400, 300, Alignment::topLeading())
            .background(Color::black());
    }
};

class MenuPopupWindowTest : public HostWindowFixture {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        // Real input (XTEST) reaches the window the window manager gave the keyboard to.
        REQUIRE_WINDOW_MANAGER();
        open(make<Account>(), "Account", /*followFocus=*/false);
    }
    // Pixels of the window that are not the black background, within `r`, and all it holds.
    std::pair<size_t, size_t> litPixels(const Rect& r) {
        window->display();
        int w = 0, h = 0;
        auto pixels = window->surface().readPixels(&w, &h);
        const double scale = static_cast<double>(w) / 400.0;
        size_t lit = 0, all = 0;
        for (int y = static_cast<int>(r.y * scale); y < static_cast<int>(r.maxY() * scale) && y < h; ++y) {
            for (int x = static_cast<int>(r.x * scale); x < static_cast<int>(r.maxX() * scale) && x < w;
                 ++x) {
                const size_t i =
                    (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4;
                ++all;
                if (pixels[i] > 200 && pixels[i + 1] > 200 && pixels[i + 2] > 200) ++lit;
            }
        }
        return {lit, all};
    }
};

TEST_F(MenuPopupWindowTest, AClickedMenuShowsItsItemsAndAClickOnOneChoosesIt) {
    const Rect label = host->require(Query::testId("account")).frame();
    gl().simulateMouseClick(centre(label));
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return bool(host->menuPopup()); }, 2s));
    const auto popup = host->menuPopup();
    ASSERT_EQ(popup->rows.size(), 5u);
    // The panel is drawn: mostly light over the black content, where nothing light was before.
    const auto [lit, all] = litPixels(popup->panel);
    ASSERT_GT(all, 0u);
    EXPECT_GT(lit, all / 2);
    // A row holds text: dark pixels inside the light row.
    const auto [rowLit, rowAll] = litPixels(popup->rows[4].frame);
    EXPECT_LT(rowLit, rowAll);

    gl().simulateMouseClick(centre(popup->rows[4].frame));
    ASSERT_TRUE(
        WindowSystem::shared().runUntil([&] { return bool(host->find(Query::text("Chosen Log out"))); }, 2s));
    EXPECT_FALSE(host->openMenu());
    // Closed, the panel's area shows the content again.
    EXPECT_LT(litPixels(popup->panel).first, all / 2);
}

TEST_F(MenuPopupWindowTest, TheRowUnderThePointerIsHighlightedUntilAKeyMovesTheHighlight) {
    gl().simulateMouseClick(centre(host->require(Query::testId("account")).frame()));
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return bool(host->menuPopup()); }, 2s));
    const auto rows = host->menuPopup()->rows;
    // A highlighted row is filled with the accent colour: few of its pixels stay light.
    auto highlighted = [&](size_t row) {
        const auto [lit, all] = litPixels(rows[row].frame);
        return lit < all / 2;
    };
    auto settled = [&](size_t lit) {
        return WindowSystem::shared().runUntil(
            [&] { return highlighted(lit) && !highlighted(lit == 1 ? 2 : 1) && !highlighted(0); }, 2s);
    };
    EXPECT_FALSE(highlighted(1));
    gl().simulateMouseMove(centre(rows[1].frame));
    EXPECT_TRUE(settled(1));
    gl().simulateMouseMove(centre(rows[2].frame));
    EXPECT_TRUE(settled(2));
    // Down moves the keys' highlight, from none to the first row, wherever the pointer stands.
    gl().simulateKey(plat::render::keys::Down);
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return highlighted(0); }, 2s));
    EXPECT_FALSE(highlighted(2));
}

TEST_F(MenuPopupWindowTest, EscapeClosesTheMenuAndTheWheelScrollsTheList) {
    gl().simulateMouseClick(centre(host->require(Query::testId("account")).frame()));
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return bool(host->openMenu()); }, 2s));
    gl().simulateKey(plat::render::keys::Escape);
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return !host->openMenu(); }, 2s));

    const NodeRef list = host->require(Query::kind(ViewKind::List));
    const double before = host->require(Query::text("Row 0")).frame().y;
    gl().simulateScroll(centre(list.frame()), 0, -2);
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return ScrollState::of(list)->offset() > 0; }, 2s));
    EXPECT_DOUBLE_EQ(ScrollState::of(list)->offset(), 2 * ScrollState::wheelStep);
    EXPECT_DOUBLE_EQ(host->require(Query::text("Row 0")).frame().y, before - 2 * ScrollState::wheelStep);
}

// Real keys (XTEST) while a menu is open over a focused field: the arrows, Home, Backspace and
// typing leave the field's text and caret alone; once the menu closes, they are the field's again.
TEST_F(MenuPopupWindowTest, AnOpenMenuTakesTheKeysFromTheFocusedField) {
    auto until = [](const std::function<bool()>& done) { return WindowSystem::shared().runUntil(done, 2s); };
    const NodeRef field = host->require(Query::placeholder("Note"));
    pointerClick(centre(field.frame()));
    ASSERT_TRUE(until([&] { return host->focused() == field; }));
    input().key(XK_a);
    input().key(XK_b);
    ASSERT_TRUE(until([&] { return field.value() == "ab"; })) << field.value();
    auto caret = [&] { return field.fieldSelection() ? field.fieldSelection()->caret : 99u; };

    pointerClick(centre(host->require(Query::testId("account")).frame()));
    ASSERT_TRUE(until([&] { return bool(host->menuPopup()); }));
    for (const unsigned long key : {XK_Left, XK_Home, XK_BackSpace, XK_x, XK_Right})
        input().key(key);
    // Down comes after them: once it reached the first entry, the keys before it were handled.
    input().key(XK_Down);
    ASSERT_TRUE(until([&] { return host->menuPopup() && host->menuPopup()->rows[0].reached; }));
    EXPECT_EQ(field.value(), "ab");
    EXPECT_EQ(caret(), 2u);
    EXPECT_EQ(host->focused(), field);

    input().key(XK_Escape);
    ASSERT_TRUE(until([&] { return !host->openMenu(); }));
    input().key(XK_Left);
    EXPECT_TRUE(until([&] { return caret() == 1; })) << caret();
}

} // namespace
