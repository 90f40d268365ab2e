// The open menu's and picker's panel in the headless host: where its rows lie, clicks on them
// choosing the item through the same path as click() and select(), and the ways it closes.
#include "UITestSupport.h"

#include "platform/ui/MenuPopup.h"

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

Point centre(const Rect& r) {
    return {r.x + r.width / 2, r.y + r.height / 2};
}

const MenuPopup::Row* rowWithText(const MenuPopup& popup, const std::string& text) {
    for (const auto& row : popup.rows)
        if (row.text == text) return &row;
    return nullptr;
}

// An account menu like the main window's: a label with an icon, items with icons, a divider, and a
// button drawn after the menu that the panel covers when open.
struct Account : Screen {
    explicit Account(std::shared_ptr<std::vector<std::string>> log, double top = 20)
        : log(std::move(log)), top(top) {}
    std::shared_ptr<std::vector<std::string>> log;
    double top;
    AnyView body() const override {
        auto item = [this](const char* title, const char* symbol) {
            return Button([log = log, title] { log->push_back(title); }, Label(title, symbol));
        };
        return VStack(HAlign::Leading,
                      {Spacer().frame(std::nullopt, top),
                       Menu(Label(TextValue::verbatim("me@example.com"), "person.crop.circle.fill"),
                            {item("Settings", "gearshape"), item("Manage Devices", "laptopcomputer"),
                             item("Customer support", "questionmark.circle"), Divider(),
                             item("Log out", "rectangle.portrait.and.arrow.right")})
                           .testId("account"),
                       Button([log = log] { log->push_back("below"); }, Text("Below").frame(300, 200))
                           .testId("below"),
                       Spacer()})
            .frame(400, 400, Alignment::topLeading());
    }
};

TEST_F(UITest, AnOpenMenuListsItsItemsInAPanelUnderTheLabel) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Account>(log), {.contentSize = {400, 400}});
    host.update();
    EXPECT_FALSE(host.menuPopup());
    auto menu = host.require(Query::testId("account"));
    ASSERT_TRUE(host.mouseClick(centre(menu.frame())));
    ASSERT_EQ(host.openMenu(), menu);
    auto popup = host.menuPopup();
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->owner, menu);
    ASSERT_EQ(popup->rows.size(), 5u);
    EXPECT_EQ(popup->rows[0].text, "Settings");
    EXPECT_EQ(popup->rows[0].symbol, "gearshape");
    EXPECT_TRUE(popup->rows[3].separator);
    EXPECT_EQ(popup->rows[4].text, "Log out");
    // Under the label, inside the window, rows top to bottom without overlap, inside the panel.
    EXPECT_GE(popup->panel.y, menu.frame().maxY());
    EXPECT_GE(popup->panel.x, 0);
    EXPECT_LE(popup->panel.maxX(), 400);
    EXPECT_LE(popup->panel.maxY(), 400);
    EXPECT_GE(popup->panel.width, menu.frame().width);
    for (std::size_t i = 0; i < popup->rows.size(); ++i) {
        const Rect& f = popup->rows[i].frame;
        EXPECT_GT(f.height, 0);
        EXPECT_GE(f.y, popup->panel.y);
        EXPECT_LE(f.maxY(), popup->panel.maxY());
        if (i > 0) {
            EXPECT_GE(f.y, popup->rows[i - 1].frame.maxY());
        }
    }
    // The separator takes no click.
    EXPECT_EQ(popup->rowAt(centre(popup->rows[3].frame)), nullptr);
    EXPECT_EQ(popup->rowAt(centre(popup->rows[4].frame)), &popup->rows[4]);
}

TEST_F(UITest, AClickOnAPanelRowRunsTheItemAboveWhatLiesUnderIt) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Account>(log), {.contentSize = {400, 400}});
    host.update();
    auto menu = host.require(Query::testId("account"));
    ASSERT_TRUE(host.mouseClick(centre(menu.frame())));
    auto popup = host.menuPopup();
    ASSERT_TRUE(popup);
    const auto* logOut = rowWithText(*popup, "Log out");
    ASSERT_NE(logOut, nullptr);
    // The panel covers the button below the menu: the click goes to the item, not the button.
    ASSERT_TRUE(host.require(Query::testId("below")).frame().contains(centre(logOut->frame)));
    EXPECT_TRUE(host.mouseClick(centre(logOut->frame)));
    EXPECT_EQ(*log, std::vector<std::string>{"Log out"});
    EXPECT_FALSE(host.openMenu());
    EXPECT_FALSE(host.menuPopup());
    // Closed, the same point reaches the button again.
    EXPECT_TRUE(host.mouseClick(centre(logOut->frame)));
    EXPECT_EQ(*log, (std::vector<std::string>{"Log out", "below"}));
}

TEST_F(UITest, AClickOutsideTheOpenMenuClosesItAndReachesNothingElse) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Account>(log), {.contentSize = {400, 400}});
    host.update();
    auto menu = host.require(Query::testId("account"));
    ASSERT_TRUE(host.mouseClick(centre(menu.frame())));
    auto popup = host.menuPopup();
    ASSERT_TRUE(popup);
    const Rect below = host.require(Query::testId("below")).frame();
    const Point outside{below.x + 5, below.maxY() - 5};
    ASSERT_FALSE(popup->panel.contains(outside));
    EXPECT_TRUE(host.mouseClick(outside));
    EXPECT_FALSE(host.openMenu());
    EXPECT_TRUE(log->empty());
    // A click on the panel's separator keeps it open and chooses nothing.
    ASSERT_TRUE(host.mouseClick(centre(menu.frame())));
    popup = host.menuPopup();
    ASSERT_TRUE(popup);
    EXPECT_TRUE(host.mouseClick(centre(popup->rows[3].frame)));
    EXPECT_TRUE(host.openMenu());
    EXPECT_TRUE(log->empty());
    // Escape closes it; a second click on the label too.
    EXPECT_TRUE(host.pressKey(Key::Escape));
    EXPECT_FALSE(host.menuPopup());
    ASSERT_TRUE(host.mouseClick(centre(menu.frame())));
    ASSERT_TRUE(host.openMenu());
    EXPECT_TRUE(host.mouseClick(centre(menu.frame())));
    EXPECT_FALSE(host.openMenu());
}

TEST_F(UITest, OpeningAndClosingAMenuAsksTheWindowToRedraw) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Account>(log), {.contentSize = {400, 400}});
    host.update();
    int draws = 0;
    host.setDisplayHandler([&] { ++draws; });
    auto menu = host.require(Query::testId("account"));
    ASSERT_TRUE(host.click(menu));
    EXPECT_EQ(draws, 1);
    EXPECT_TRUE(host.pressKey(Key::Escape));
    EXPECT_EQ(draws, 2);
    // A key that changes nothing draws nothing.
    EXPECT_FALSE(host.pressKey(Key::Escape));
    EXPECT_EQ(draws, 2);
    host.setDisplayHandler({});
}

TEST_F(UITest, APanelWithoutRoomBelowTheLabelOpensAboveItInsideTheWindow) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Account>(log, 330.0), {.contentSize = {400, 400}});
    host.update();
    auto menu = host.require(Query::testId("account"));
    ASSERT_TRUE(host.click(menu));
    auto popup = host.menuPopup();
    ASSERT_TRUE(popup);
    EXPECT_LE(popup->panel.maxY(), menu.frame().y);
    EXPECT_GE(popup->panel.y, 0);
    const auto* settings = rowWithText(*popup, "Settings");
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(host.mouseClick(centre(settings->frame)));
    EXPECT_EQ(*log, std::vector<std::string>{"Settings"});
}

TEST_F(UITest, ADisabledItemsRowRefusesTheClickLikeClickDoes) {
    auto log = std::make_shared<std::vector<std::string>>();
    auto view = Menu(TextValue::verbatim("Account"),
                     {Button("Settings", [log] { log->push_back("settings"); }),
                      Button("Log out", [log] { log->push_back("logout"); }).disabled(true)});
    Host host(VStack({view, Spacer()}), {.contentSize = {300, 300}});
    host.update();
    ASSERT_TRUE(host.click(host.require(Query::kind(ViewKind::Menu))));
    auto popup = host.menuPopup();
    ASSERT_TRUE(popup);
    const auto* logOut = rowWithText(*popup, "Log out");
    ASSERT_NE(logOut, nullptr);
    EXPECT_FALSE(logOut->enabled);
    EXPECT_FALSE(host.click(logOut->item));
    EXPECT_FALSE(host.mouseClick(centre(logOut->frame)));
    EXPECT_TRUE(log->empty());
    EXPECT_TRUE(host.openMenu());
}

struct Languages : Screen {
    State<std::string> language{std::string("en")};
    AnyView body() const override {
        return VStack({Picker("Language", language.binding(),
                              {Text(TextValue::verbatim("English")).tag(std::string("en")),
                               Text(TextValue::verbatim("Deutsch")).tag(std::string("de")),
                               Text(TextValue::verbatim("Français")).tag(std::string("fr"))})
                           .pickerStyle(PickerStyle::Menu)
                           .testId("picker"),
                       Text(TextValue::verbatim("Chosen " + language())), Spacer()});
    }
};

TEST_F(UITest, AClickOnAnOpenPickersEntryChoosesIt) {
    Host host(make<Languages>(), {.contentSize = {400, 300}});
    host.update();
    auto picker = host.require(Query::testId("picker"));
    ASSERT_TRUE(host.mouseClick(centre(picker.frame())));
    ASSERT_EQ(host.openMenu(), picker);
    auto popup = host.menuPopup();
    ASSERT_TRUE(popup);
    ASSERT_EQ(popup->rows.size(), 3u);
    // Under the pop-up button, which follows the label: not under the label at the row's start.
    const double button = picker.frame().x + HeadlessMetrics().textWidth("Language", Font()) + 8;
    EXPECT_NEAR(popup->panel.x, button, 0.5);
    EXPECT_GE(popup->panel.y, picker.frame().maxY());
    EXPECT_TRUE(popup->rows[0].chosen);
    EXPECT_FALSE(popup->rows[2].chosen);
    EXPECT_EQ(popup->rows[2].text, "Français");
    EXPECT_TRUE(host.mouseClick(centre(popup->rows[2].frame)));
    EXPECT_TRUE(host.find(Query::text("Chosen fr")));
    EXPECT_FALSE(host.openMenu());
    // select() closes an open picker too, and the panel shows the new choice when it opens again.
    ASSERT_TRUE(host.click(picker));
    popup = host.menuPopup();
    ASSERT_TRUE(popup);
    EXPECT_TRUE(popup->rows[2].chosen);
    EXPECT_TRUE(host.selectEntry(picker, "Deutsch"));
    EXPECT_TRUE(host.find(Query::text("Chosen de")));
    EXPECT_FALSE(host.openMenu());
}

} // namespace
