// Input through the headless host: typing, keys and focus, toggles, pickers, list selection, menus,
// clicks at a point, and the refusals (disabled, gone).
#include "UITestSupport.h"

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

struct Form : Screen {
    explicit Form(std::shared_ptr<std::vector<std::string>> log) : log(std::move(log)) {}
    std::shared_ptr<std::vector<std::string>> log;
    State<std::string> email{""};
    State<std::string> password{""};
    State<bool> keep{false};
    AnyView body() const override {
        return VStack({TextField("Email", email.binding()), SecureField("Password", password.binding()),
                       Toggle(keep.binding(), Text("Keep")).toggleStyle(ToggleStyle::Checkbox),
                       Button("Login", [this] { log->push_back("login " + email() + "/" + password()); })
                           .keyboardShortcut(KeyboardShortcut::defaultAction())
                           .disabled(email().empty()),
                       Button("Clear", [this] { email.set(""); })});
    }
};

TEST_F(UITest, TypingKeysAndTheDefaultAction) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Form>(log));
    host.update();
    auto login = host.require(Query::button("Login"));
    EXPECT_FALSE(login.isEnabled());
    EXPECT_FALSE(host.click(login));
    EXPECT_FALSE(host.pressKey(Key::Return));

    ASSERT_TRUE(host.type(host.require(Query::placeholder("Email")), "a@b.é"));
    EXPECT_EQ(host.require(Query::placeholder("Email")).value(), "a@b.é");
    EXPECT_TRUE(host.pressKey(Key::Backspace)); // one character, not one byte
    EXPECT_EQ(host.require(Query::placeholder("Email")).value(), "a@b.");
    EXPECT_TRUE(host.pressKey(Key::Tab));
    EXPECT_EQ(host.focused(), host.require(Query::placeholder("Password")));
    EXPECT_TRUE(host.insertText("s3cret"));
    EXPECT_EQ(host.dump().find("s3cret"), std::string::npos); // secrets stay out of dumps

    EXPECT_TRUE(host.pressKey(Key::Return));
    EXPECT_EQ(*log, std::vector<std::string>{"login a@b./s3cret"});

    ASSERT_TRUE(host.setText(host.require(Query::placeholder("Email")), "x"));
    EXPECT_EQ(host.require(Query::placeholder("Email")).value(), "x");
}

TEST_F(UITest, TogglesAndDeadNodesRefuseStaleInput) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Form>(log));
    host.update();
    auto toggle = host.require(Query::kind(ViewKind::Toggle));
    EXPECT_TRUE(host.setToggle(toggle, true));
    EXPECT_EQ(toggle.isOn(), true);
    EXPECT_TRUE(host.setToggle(toggle, true)); // already on: no click, stays on
    EXPECT_EQ(host.require(Query::kind(ViewKind::Toggle)).isOn(), true);

    ASSERT_TRUE(host.type(host.require(Query::placeholder("Email")), "q"));
    auto login = host.require(Query::button("Login"));
    ASSERT_TRUE(login.isEnabled());
    // The same node, rebuilt: the handle follows the node.
    ASSERT_TRUE(host.click(host.require(Query::button("Clear"))));
    EXPECT_FALSE(login.isEnabled());
    EXPECT_FALSE(host.click(login));
    EXPECT_TRUE(log->empty());
}

TEST_F(UITest, HandlesToRemovedNodesAreRefused) {
    struct Toggler : Screen {
        State<bool> shown{true};
        AnyView body() const override {
            return VStack({If(shown(), Button("Hide", [this] { shown.set(false); })), Text("rest")});
        }
    };
    Host host(make<Toggler>());
    host.update();
    auto hide = host.require(Query::button("Hide"));
    ASSERT_TRUE(host.click(hide));
    EXPECT_FALSE(hide.isAlive());
    EXPECT_FALSE(host.click(hide));
    EXPECT_NE(hide.describe().find("(gone)"), std::string::npos);
}

TEST_F(UITest, PickerChoosesOnlyExistingEntries) {
    struct Languages : Screen {
        State<std::string> language{"de"};
        AnyView body() const override {
            return Picker("Language", language.binding(),
                          {VerbatimText("English").tag("en"), VerbatimText("Español").tag("es")})
                .pickerStyle(PickerStyle::Menu);
        }
    };
    Host host(make<Languages>());
    host.update();
    auto picker = host.require(Query::kind(ViewKind::Picker));
    EXPECT_EQ(picker.selection(), Tag("de")); // no entry matches, none is forced
    EXPECT_FALSE(host.select(picker, Tag("fr")));
    EXPECT_TRUE(host.selectEntry(picker, "Español"));
    EXPECT_EQ(host.require(Query::kind(ViewKind::Picker)).selection(), Tag("es"));
    EXPECT_TRUE(host.select(picker, Tag("en")));
    EXPECT_EQ(picker.selection(), Tag("en"));
}

TEST_F(UITest, ListRowsSelectByClickAndByTag) {
    struct Regions : Screen {
        State<std::optional<int>> current{std::nullopt};
        AnyView body() const override {
            std::vector<int> ids{3, 7, 9};
            return List(
                current.binding(),
                {ForEach(
                    ids, [](int i) { return i; },
                    [](int i) { return HStack({VerbatimText("region " + std::to_string(i))}).tag(i); })});
        }
    };
    Host host(make<Regions>());
    host.update();
    ASSERT_TRUE(host.click(host.require(Query::text("region 7"))));
    auto list = host.require(Query::kind(ViewKind::List));
    EXPECT_EQ(list.selection(), Tag(7));
    EXPECT_TRUE(host.require(Query::text("region 7")).isSelected());
    EXPECT_FALSE(host.require(Query::text("region 3")).isSelected());
    EXPECT_TRUE(host.select(list, Tag(9)));
    EXPECT_EQ(list.selection(), Tag(9));
    EXPECT_FALSE(host.select(list, Tag(4)));
}

TEST_F(UITest, MenuItemsRunTheirActionsUnlessTheMenuIsDisabled) {
    auto log = std::make_shared<std::vector<std::string>>();
    auto menu = [log](bool disabled) {
        return Menu(Label("me@example.com", "person.crop.circle.fill"),
                    {Button(std::function<void()>([log] { log->push_back("settings"); }),
                            Label("Settings", "gearshape")),
                     Divider(), Button("Log out", [log] { log->push_back("logout"); })})
            .disabled(disabled);
    };
    Host host(VStack({menu(false), menu(true)}));
    host.update();
    auto items = host.findAll(Query::button("Log out"));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(host.click(host.require(Query::text("Settings"))));
    EXPECT_TRUE(host.click(items[0]));
    EXPECT_FALSE(host.click(items[1]));
    EXPECT_EQ(*log, (std::vector<std::string>{"settings", "logout"}));
    // Closed menus lay out their label only.
    EXPECT_EQ(items[0].frame(), Rect{});
    // A click on the label opens the menu, Escape closes it; a disabled menu does not open.
    auto label = host.findAll(Query::text("me@example.com") && Query::kind(ViewKind::Label));
    ASSERT_EQ(label.size(), 2u);
    EXPECT_TRUE(host.click(label[0]));
    EXPECT_EQ(host.openMenu(), host.findAll(Query::kind(ViewKind::Menu))[0]);
    EXPECT_TRUE(host.pressKey(Key::Escape));
    EXPECT_FALSE(host.openMenu());
    EXPECT_FALSE(host.click(label[1]));
    EXPECT_GT(host.findAll(Query::text("me@example.com"))[0].frame().width, 0);
}

TEST_F(UITest, ClickAtAPointHitsTheTopmostControlThere) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(HStack({Button("Left", [log] { log->push_back("left"); }),
                      Button("Right", [log] { log->push_back("right"); })}),
              {.contentSize = {300, 100}});
    host.update();
    EXPECT_TRUE(host.mouseClick(host.require(Query::button("Right")).frame().center()));
    EXPECT_FALSE(host.mouseClick({1, 1}));
    EXPECT_EQ(*log, std::vector<std::string>{"right"});
}

TEST_F(UITest, AButtonActsWhenPressedAndReleasedOnItWhereverThePointerWentBetween) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(HStack({Button("Left", [log] { log->push_back("left"); }),
                      Button("Right", [log] { log->push_back("right"); })}),
              {.contentSize = {300, 100}});
    host.update();
    const Rect right = host.require(Query::button("Right")).frame();
    const Point left = host.require(Query::button("Left")).frame().center();
    // Moved 12 points inside the button, and out of it and back.
    ASSERT_TRUE(right.contains({right.x + 14, right.y + 2}));
    host.mouseDown({right.x + 2, right.y + 2});
    host.mouseDragged({right.x + 14, right.y + 2});
    EXPECT_TRUE(host.mouseUp({right.x + 14, right.y + 2}));
    host.mouseDown(right.center());
    host.mouseDragged({1, 1});
    host.mouseDragged(left);
    host.mouseDragged(right.center());
    EXPECT_TRUE(host.mouseUp({right.maxX() - 1, right.center().y}));
    EXPECT_EQ(*log, (std::vector<std::string>{"right", "right"}));
    // Released on another button or on nothing, neither acts; nor does a release without a press.
    host.mouseDown(right.center());
    EXPECT_FALSE(host.mouseUp(left));
    host.mouseDown(right.center());
    EXPECT_FALSE(host.mouseUp({1, 1}));
    EXPECT_FALSE(host.mouseUp(right.center()));
    EXPECT_EQ(log->size(), 2u);
}

} // namespace

namespace {

TEST_F(UITest, AnActionOrHandlerMayCloseItsOwnWindow) {
    auto holder = std::make_shared<std::unique_ptr<Host>>();
    *holder = std::make_unique<Host>(Button("Close", [holder] { holder->reset(); }));
    (*holder)->update();
    auto close = (*holder)->require(Query::button("Close"));
    EXPECT_TRUE((*holder)->click(close));
    EXPECT_EQ(*holder, nullptr);

    // Closed by an appear handler inside its first pass.
    *holder = std::make_unique<Host>(Text("x").onAppear([holder] { holder->reset(); }));
    UpdateCoordinator::shared().updateNow();
    EXPECT_EQ(*holder, nullptr);
    RunLoop::main().drain();
}

TEST_F(UITest, DumpShowsKindsTextsAttributesAndFrames) {
    struct Small : Screen {
        State<std::string> name{"kim"};
        AnyView body() const override {
            return VStack(
                HAlign::Leading, 0,
                {Text("Title").font(Font::headline()).foregroundColor(Color::gray()),
                 TextField("Name", name.binding()).testId("name").help("Your name"),
                 Button("Go", [] {}).keyboardShortcut(KeyboardShortcut::defaultAction()).disabled(true)});
        }
    };
    Host host(make<Small>(), {.contentSize = {200, 100}});
    host.update();
    const std::string dump = host.dump();
    // The field takes the width it is offered, so the stack spans the window.
    EXPECT_EQ(
        dump,
        "Window 200x100\n"
        "Content @ 0,0 200x100\n"
        "  Small @ 0,18.5 200x63\n"
        "    VStack @ 0,18.5 200x63\n"
        "      Text \"Title\" font=headline color=gray @ 0,18.5 39x17\n"
        "      TextField placeholder=\"Name\" value=\"kim\" testId=name help=\"Your name\" @ 0,35.5 200x23\n"
        "      Button disabled shortcut=return @ 0,58.5 29x23\n"
        "        Text \"Go\" font=body disabled @ 8,61.5 13x17\n");
    EXPECT_EQ(host.require(Query::testId("name")).help(), "Your name");
}

} // namespace
