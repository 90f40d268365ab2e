// Environment values: localisation of keys with arguments, inherited styles and fonts (innermost
// wins, disabled from any ancestor), the URL-opening action, and keyboard focus order.
#include "UITestSupport.h"

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

TEST(TextValueTest, KeysAreLocalisedThenArgumentsFillTheMarkersInOrder) {
    Localizer spanish = [](const std::string& key) {
        if (key == "Connected to %@") return std::string("Conectado a %@");
        if (key == "%@ of %@") return std::string("%@ de %@");
        return key;
    };
    EXPECT_EQ(TextValue("Connected to %@", {"Germany"}).resolve(spanish), "Conectado a Germany");
    EXPECT_EQ(TextValue("%@ of %@", {"1"}).resolve(spanish),
              "1 de %@"); // a missing argument leaves the marker
    EXPECT_EQ(TextValue("Unknown").resolve(spanish), "Unknown");
    EXPECT_EQ(TextValue::verbatim("Connected to %@").resolve(spanish), "Connected to %@");
    EXPECT_EQ(TextValue("Plain").resolve(nullptr), "Plain");
}

TEST_F(UITest, TextShowsThroughTheLocaliserOfItsEnvironment) {
    auto root =
        VStack({Text("Log In"), VerbatimText("Log In"), Label("Settings", "gearshape")})
            .environment([](EnvironmentValues& e) {
                e.localize = [](const std::string& key) { return key == "Log In" ? "Entrar" : key + "*"; };
            });
    Host host(root);
    host.update();
    EXPECT_TRUE(host.find(Query::text("Entrar")));
    EXPECT_TRUE(host.find(Query::text("Log In"))); // the verbatim one
    EXPECT_TRUE(host.find(Query::text("Settings*") && Query::kind(ViewKind::Label)));
    EXPECT_EQ(host.count(Query::textContaining("Entr")), 1u);
}

// Modifiers share what they leave alone with the view they are applied to: a second modifier on
// the same value must change only the copy it returns.
TEST_F(UITest, AModifierChangesOnlyTheViewItReturns) {
    const AnyView base = Text("base").foregroundColor(Color::red());
    const AnyView styled = base.italic().help("tip").testId("styled");
    Host host(VStack({styled, base.testId("base"), base.padding(EdgeInsets{1, 2, 3, 4}).testId("padded")}));
    host.update();
    const auto before = host.require(Query::testId("base"));
    EXPECT_FALSE(before.environment().italic);
    EXPECT_FALSE(before.help());
    EXPECT_EQ(before.environment().foregroundColor, Color::red());
    const auto after = host.require(Query::testId("styled"));
    EXPECT_TRUE(after.environment().italic);
    EXPECT_EQ(after.help(), "tip");
    EXPECT_EQ(after.environment().foregroundColor, Color::red());
    EXPECT_EQ(host.require(Query::testId("padded")).frame().size().width,
              before.frame().size().width + 6); // the padding's own insets, not a shared default
}

TEST_F(UITest, InnermostStyleWinsAndDisabledComesFromAnyAncestor) {
    Host host(VStack({Text("inner").font(Font::footnote()).foregroundColor(Color::red()), Text("outer"),
                      VStack({Button("Deep", [] {}).disabled(false)}).disabled(true)})
                  .font(Font::largeTitle())
                  .foregroundColor(Color::gray())
                  .bold());
    host.update();
    auto inner = host.require(Query::text("inner")).environment();
    EXPECT_EQ(inner.effectiveFont(),
              Font::footnote().weight(FontWeight::Bold)); // the outer weight still applies
    // A weight outside a font on the same view (a heavy large title) keeps both.
    Host title(Text("Velmora").font(Font::largeTitle()).fontWeight(FontWeight::Heavy));
    title.update();
    EXPECT_EQ(title.require(Query::text("Velmora")).environment().effectiveFont(),
              Font::largeTitle().weight(FontWeight::Heavy));
    EXPECT_EQ(inner.foregroundColor, Color::red());
    auto outer = host.require(Query::text("outer")).environment();
    EXPECT_EQ(outer.effectiveFont(), Font::largeTitle().bold());
    EXPECT_EQ(outer.foregroundColor, Color::gray());
    EXPECT_FALSE(host.require(Query::button("Deep")).isEnabled());
}

TEST_F(UITest, TheUrlOpeningActionComesFromTheEnvironment) {
    auto opened = std::make_shared<std::vector<std::string>>();
    struct Linker : Screen {
        Environment<&EnvironmentValues::openURL> openURL;
        AnyView body() const override {
            return Button("Forget Password",
                          [open = openURL()] { open("https://example.com/reset_password"); });
        }
    };
    Host host(make<Linker>().environment([opened](EnvironmentValues& e) {
        e.openURL.handler = [opened](const std::string& url) {
            opened->push_back(url);
            return true;
        };
    }));
    host.update();
    ASSERT_TRUE(host.click(host.require(Query::button("Forget Password"))));
    EXPECT_EQ(*opened, std::vector<std::string>{"https://example.com/reset_password"});
    EXPECT_FALSE(OpenURLAction{}("https://example.com")); // without a handler nothing opens
}

TEST_F(UITest, TabCyclesThroughEnabledFieldsOfTheTopLayerInTreeOrder) {
    struct Fields : Screen {
        State<std::string> a{""}, b{""}, c{""};
        AnyView body() const override {
            return VStack({TextField("A", a.binding()), TextField("B", b.binding()).disabled(true),
                           SecureField("C", c.binding())});
        }
    };
    Host host(make<Fields>());
    host.update();
    EXPECT_FALSE(host.focused());
    EXPECT_FALSE(host.insertText("x")); // nothing focused: the text goes nowhere
    EXPECT_TRUE(host.pressKey(Key::Tab));
    EXPECT_EQ(host.focused().placeholder(), "A");
    EXPECT_TRUE(host.pressKey(Key::Tab));
    EXPECT_EQ(host.focused().placeholder(), "C"); // the disabled field is skipped
    EXPECT_TRUE(host.pressKey(Key::Tab));
    EXPECT_EQ(host.focused().placeholder(), "A");
    EXPECT_TRUE(host.pressKey(Key::Tab, KeyModifiers::Shift));
    EXPECT_EQ(host.focused().placeholder(), "C");
    EXPECT_FALSE(host.type(host.require(Query::placeholder("B")), "no"));
    EXPECT_EQ(host.require(Query::placeholder("B")).value(), "");
}

TEST_F(UITest, ShortcutsWithModifiersReachTheirButtons) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(HStack(
        {Button("Save", [log] { log->push_back("save"); }).keyboardShortcut(KeyboardShortcut::key("s")),
         Button("Cancel", [log] {
             log->push_back("cancel");
         }).keyboardShortcut(KeyboardShortcut::cancelAction())}));
    host.update();
    EXPECT_TRUE(host.keyDown(KeyEvent::typed("s", KeyModifiers::Command)));
    EXPECT_FALSE(host.keyDown(KeyEvent::typed("s"))); // no field focused and no plain shortcut
    EXPECT_TRUE(host.pressKey(Key::Escape));
    EXPECT_EQ(*log, (std::vector<std::string>{"save", "cancel"}));
}

} // namespace
