// Using a window with the keyboard alone: Tab and Shift-Tab reach every enabled control of the top
// layer in tree order, Space presses the focused control, Up and Down move through a focused list
// (without choosing) or an open menu, and Return chooses the row or entry they reached.
#include "UITestSupport.h"

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

struct Window : Screen {
    explicit Window(std::shared_ptr<std::vector<std::string>> log) : log(std::move(log)) {}
    std::shared_ptr<std::vector<std::string>> log;
    State<std::string> search{""};
    State<std::optional<int>> region{std::optional<int>(2)};
    State<bool> killSwitch{false};
    State<bool> sheet{false};
    AnyView body() const override {
        std::vector<int> ids;
        for (int i = 0; i < 30; ++i)
            ids.push_back(i);
        plat::Binding<std::optional<int>> chosen([this] { return region(); },
                                                 [this](const std::optional<int>& id) {
                                                     log->push_back("chose " +
                                                                    std::to_string(id.value_or(-1)));
                                                     region.set(id);
                                                 });
        return VStack(
            {TextField("Search", search.binding()),
             List(chosen,
                  {ForEach(
                      ids, [](int i) { return i; },
                      [](int i) {
                          return VerbatimText("region " + std::to_string(i)).frame(std::nullopt, 30).tag(i);
                      })})
                 .frame(std::nullopt, 150)
                 .testId("list"),
             Button("Power", [this] { log->push_back("power"); }),
             Button("Disabled", [this] { log->push_back("disabled"); }).disabled(true),
             Toggle(killSwitch.binding(), Text("Kill switch")),
             Menu(Text("Account"), {Button("Settings", [this] { sheet.set(true); }), Divider(),
                                    Button("Log out", [this] { log->push_back("logout"); })})
                 .sheet(sheet.binding(), [this] {
                     return VStack({Text("Settings"), Button("Close", [this] { sheet.set(false); })});
                 })});
    }
};

std::string describeFocus(const Host& host) {
    const NodeRef f = host.focused();
    if (!f) return "none";
    if (f.kind() == ViewKind::TextField) return "field " + f.placeholder();
    if (f.kind() == ViewKind::List) return "list";
    if (f.kind() == ViewKind::Menu) return f.children().front().text(); // its label, not its items
    return f.text();
}

TEST_F(UITest, TabReachesEveryEnabledControlOfTheTopLayerInTreeOrder) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Window>(log), {.contentSize = {400, 500}});
    host.update();
    std::vector<std::string> order;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(host.pressKey(Key::Tab));
        order.push_back(describeFocus(host));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"field Search", "list", "Power", "Kill switch", "Account",
                                               "field Search"}))
        << "the disabled button and the menu's items are passed by";
    ASSERT_TRUE(host.pressKey(Key::Tab, KeyModifiers::Shift));
    EXPECT_EQ(describeFocus(host), "Account");
    EXPECT_TRUE(log->empty()) << "moving the focus presses nothing";

    // Under a sheet only the sheet's controls take the focus.
    ASSERT_TRUE(host.pressKey(Key::Space));
    ASSERT_TRUE(host.pressKey(Key::Down));
    ASSERT_TRUE(host.pressKey(Key::Return));
    ASSERT_EQ(host.sheets().size(), 1u);
    ASSERT_TRUE(host.pressKey(Key::Tab));
    EXPECT_EQ(describeFocus(host), "Close");
    ASSERT_TRUE(host.pressKey(Key::Tab));
    EXPECT_EQ(describeFocus(host), "Close");
    ASSERT_TRUE(host.pressKey(Key::Space));
    EXPECT_TRUE(host.sheets().empty());
}

TEST_F(UITest, SpacePressesTheFocusedControlAndTheArrowsWalkAnOpenMenu) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Window>(log), {.contentSize = {400, 500}});
    host.update();
    EXPECT_FALSE(host.pressKey(Key::Space)) << "nothing focused";
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(host.pressKey(Key::Tab));
    ASSERT_EQ(describeFocus(host), "Power");
    ASSERT_TRUE(host.pressKey(Key::Space));
    EXPECT_EQ(*log, std::vector<std::string>{"power"});
    ASSERT_TRUE(host.pressKey(Key::Tab));
    ASSERT_TRUE(host.pressKey(Key::Space));
    EXPECT_EQ(host.require(Query::kind(ViewKind::Toggle)).isOn(), true);

    ASSERT_TRUE(host.pressKey(Key::Tab));
    ASSERT_TRUE(host.pressKey(Key::Space));
    ASSERT_TRUE(host.openMenu());
    // Down reaches the first entry, then passes the divider; it stops at the last.
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(host.pressKey(Key::Down));
    ASSERT_TRUE(host.pressKey(Key::Up));
    ASSERT_TRUE(host.pressKey(Key::Down));
    ASSERT_TRUE(host.pressKey(Key::Return));
    EXPECT_EQ(log->back(), "logout");
    EXPECT_FALSE(host.openMenu()) << "choosing an entry closes the menu";
    // Escape closes an open menu with nothing chosen.
    ASSERT_TRUE(host.pressKey(Key::Space));
    ASSERT_TRUE(host.pressKey(Key::Down));
    ASSERT_TRUE(host.pressKey(Key::Escape));
    EXPECT_FALSE(host.openMenu());
    EXPECT_EQ(log->size(), 2u);
    // So does moving the focus on.
    ASSERT_TRUE(host.pressKey(Key::Space));
    ASSERT_TRUE(host.openMenu());
    ASSERT_TRUE(host.pressKey(Key::Tab));
    EXPECT_FALSE(host.openMenu());
    EXPECT_EQ(describeFocus(host), "field Search");
}

TEST_F(UITest, ArrowsMoveThroughAFocusedListWithoutChoosingAndReturnChooses) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Window>(log), {.contentSize = {400, 500}});
    host.update();
    ASSERT_TRUE(host.pressKey(Key::Tab));
    ASSERT_TRUE(host.pressKey(Key::Tab));
    ASSERT_EQ(describeFocus(host), "list");
    const NodeRef list = host.require(Query::kind(ViewKind::List));
    auto keyboardRow = [&] {
        for (const NodeRef& row :
             host.findAll(Query::where("tagged", [](const NodeRef& r) { return r.tag().has_value(); })))
            if (row.isKeyboardRow()) return *row.tag();
        return Tag();
    };
    EXPECT_EQ(keyboardRow(), Tag(2)) << "the arrows start at the selected row";

    ASSERT_TRUE(host.pressKey(Key::Up));
    ASSERT_TRUE(host.pressKey(Key::Up));
    ASSERT_TRUE(host.pressKey(Key::Up));
    EXPECT_EQ(keyboardRow(), Tag(0)) << "and stop at the first";
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(host.pressKey(Key::Down));
    EXPECT_EQ(keyboardRow(), Tag(12));
    EXPECT_TRUE(log->empty()) << "moving chooses nothing";
    EXPECT_EQ(list.selection(), Tag(2));
    // The row reached is scrolled into view.
    const Rect row = host.require(Query::text("region 12")).frame();
    EXPECT_GE(row.y, list.frame().y - 0.01);
    EXPECT_LE(row.maxY(), list.frame().maxY() + 0.01);

    ASSERT_TRUE(host.pressKey(Key::Return));
    EXPECT_EQ(*log, std::vector<std::string>{"chose 12"});
    EXPECT_EQ(list.selection(), Tag(12));
    ASSERT_TRUE(host.pressKey(Key::Down));
    ASSERT_TRUE(host.pressKey(Key::Space));
    EXPECT_EQ(list.selection(), Tag(13));

    // Without the focus the arrows move nothing.
    ASSERT_TRUE(host.pressKey(Key::Tab));
    EXPECT_FALSE(host.pressKey(Key::Down));
    EXPECT_EQ(keyboardRow(), Tag());
}

} // namespace
