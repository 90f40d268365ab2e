// The login and sign-up screen, headless: its modes, the messages of rejected input, the eye
// buttons, the default action, the links, the result handling one main-queue turn after each
// result, and the window sizing.
#include "app/classes/Preferences.h"
#include "app/views/LoginView.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/app/screens/ScreenTestSupport.h"

namespace {

using namespace screentest;
using plat::ui::Key;
using plat::ui::ViewKind;
using Mode = LoginView::LoginViewState;
using ProgramState = ContentViewModel::ProgramState;

class LoginScreenTest : public ScreenTest {
protected:
    void SetUp() override {
        show(plat::ui::make<Removable>(presence_, plat::ui::make<LoginView>([this] { return controller_; })));
    }

    plat::ui::NodeRef emailField() { return node(Query::placeholder("Email")); }
    plat::ui::NodeRef passwordField() { return node(Query::placeholder("Password")); }
    plat::ui::NodeRef repeatField() { return node(Query::placeholder("Repeat Password")); }
    bool loading() { return has(Query::text("Loading…")); }
    // The mode as the screen shows it.
    Mode shownMode() {
        if (loading()) return Mode::loading;
        return has(Query::button("Login")) ? Mode::logIn : Mode::signUp;
    }
    void fill(const std::string& email, const std::string& password) {
        ASSERT_TRUE(host().setText(emailField(), email));
        ASSERT_TRUE(host().setText(passwordField(), password));
    }
    std::string alertText() { return topAlert() ? topAlert().text() : ""; }
    // The screen alone in `language`, as the login window's content below the menu bar.
    void showIn(const char* language) {
        plat::UserDefaults::standard().set("AppleLanguages",
                                           plat::Object(plat::Object::Array{plat::Object(language)}));
        plat::Localization::shared().resetForTesting();
        show(plat::ui::make<LoginView>([this] {
                 return controller_;
             }).environment([](plat::ui::EnvironmentValues& env) { env.localize = plat::LocalizedString; }),
             {.contentSize = {800, 472}});
    }

    std::shared_ptr<LoginController> controller_ = std::make_shared<LoginController>();
    std::shared_ptr<Presence> presence_ = std::make_shared<Presence>();
};

TEST_F(LoginScreenTest, ANewScreenShowsAnEmptyMaskedLogInFormAndSizesTheWindowOneTurnLater) {
    EXPECT_EQ(emailField().kind(), ViewKind::TextField);
    EXPECT_EQ(emailField().value(), "");
    EXPECT_EQ(passwordField().kind(), ViewKind::SecureField);
    EXPECT_EQ(passwordField().value(), "");
    EXPECT_FALSE(has(Query::placeholder("Repeat Password")));
    EXPECT_EQ(node(Query::kind(ViewKind::Toggle)).isOn(), std::optional<bool>(false));
    EXPECT_TRUE(has(Query::text("Keep Logged In")));
    EXPECT_TRUE(has(Query::text("Don't have account yet?")));
    EXPECT_TRUE(has(Query::button("Sign Up")));
    EXPECT_TRUE(has(Query::text("Velmora")));
    EXPECT_TRUE(has(Query::image("logo")) && has(Query::image("rightBarLogo")));
    EXPECT_FALSE(topAlert());

    // Nothing is resized inside the pass that showed the screen.
    const plat::ScreenRect before = window()->frame();
    EXPECT_EQ(before.size.width, 640);
    settle();
    EXPECT_EQ(window()->frame(), (plat::ScreenRect{before.origin, {800, 500}}));
    // The initial "none" result leaves the log-in form.
    EXPECT_EQ(shownMode(), Mode::logIn);

    // The checkbox changes nothing but itself.
    ASSERT_TRUE(host().setToggle(node(Query::kind(ViewKind::Toggle)), true));
    settle();
    EXPECT_EQ(node(Query::kind(ViewKind::Toggle)).isOn(), std::optional<bool>(true));
    EXPECT_EQ(controller_->loginResult.get(), Status::none);
    EXPECT_FALSE(topAlert());
}

TEST_F(LoginScreenTest, AnInvalidAddressShowsTheMessageAndKeepsWhatWasTyped) {
    settle();
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        fill("not-an-address", "secret1");
        ASSERT_TRUE(host().click(node(Query::button("Login"))));
        // The result is applied a turn later: until then the progress indicator stands in.
        EXPECT_EQ(shownMode(), Mode::loading);
        ASSERT_TRUE(topAlert());
        EXPECT_TRUE(topAlert().find(Query::text("Message")));
        EXPECT_TRUE(topAlert().find(Query::text("Please enter valid email")));
        settle();
        EXPECT_EQ(shownMode(), Mode::logIn);
        EXPECT_EQ(emailField().value(), "not-an-address");
        EXPECT_EQ(passwordField().value(), "secret1");

        ASSERT_TRUE(host().click(topAlert().find(Query::button("OK"))));
        settle();
        EXPECT_FALSE(topAlert());
        EXPECT_EQ(controller_->loginErrorMsg.get(), "");
        EXPECT_FALSE(controller_->loginError.get());
    }
}

TEST_F(LoginScreenTest, SignUpWithDifferentPasswordsReturnsToTheSignUpForm) {
    ASSERT_TRUE(host().click(node(Query::button("Sign Up"))));
    EXPECT_EQ(shownMode(), Mode::signUp);
    EXPECT_TRUE(has(Query::text("If you already have an account, ")));
    fill("new@example.org", "secret1");
    ASSERT_TRUE(host().setText(repeatField(), "secret2"));
    ASSERT_TRUE(host().click(node(Query::button("Sign Up"))));
    EXPECT_EQ(shownMode(), Mode::loading);
    settle();
    EXPECT_TRUE(topAlert().find(Query::text("Passwords are not the same")));
    EXPECT_EQ(shownMode(), Mode::signUp);
    EXPECT_EQ(repeatField().value(), "secret2");
}

TEST_F(LoginScreenTest, SwitchingModesKeepsAllThreeValues) {
    fill("a@example.org", "secret1");
    ASSERT_TRUE(host().click(node(Query::button("Sign Up"))));
    ASSERT_TRUE(host().setText(repeatField(), "secret9"));
    ASSERT_TRUE(host().click(node(Query::button("Log In"))));
    EXPECT_FALSE(has(Query::placeholder("Repeat Password")));
    EXPECT_EQ(passwordField().value(), "secret1");
    ASSERT_TRUE(host().click(node(Query::button("Sign Up"))));
    EXPECT_EQ(emailField().value(), "a@example.org");
    EXPECT_EQ(repeatField().value(), "secret9");
}

TEST_F(LoginScreenTest, ReturnPressesTheMainButtonOfTheMode) {
    settle();
    // Log-in mode: the short password is the log-in check's message, and the log-in form returns.
    fill("a@example.org", "abc");
    ASSERT_TRUE(host().pressKey(Key::Return));
    settle();
    EXPECT_TRUE(topAlert().find(Query::text("Password should be 6 chars at least")));
    EXPECT_EQ(controller_->loginResult.get(), Status::logInFalse);
    EXPECT_EQ(shownMode(), Mode::logIn);
    ASSERT_TRUE(host().click(topAlert().find(Query::button("OK"))));

    // Sign-up mode: only the sign-up check compares the two passwords.
    ASSERT_TRUE(host().click(node(Query::button("Sign Up"))));
    fill("a@example.org", "secret1");
    ASSERT_TRUE(host().setText(repeatField(), "other12"));
    ASSERT_TRUE(host().pressKey(Key::Return));
    settle();
    EXPECT_TRUE(topAlert().find(Query::text("Passwords are not the same")));
    EXPECT_EQ(controller_->loginResult.get(), Status::signUpFalse);
    EXPECT_EQ(shownMode(), Mode::signUp);
}

TEST_F(LoginScreenTest, EachEyeButtonUnmasksOnlyItsOwnEntry) {
    ASSERT_TRUE(host().click(node(Query::button("Sign Up"))));
    fill("a@example.org", "secret1");
    ASSERT_TRUE(host().setText(repeatField(), "secret2"));
    EXPECT_EQ(host().count(Query::symbol("eye.fill")), 2u);

    ASSERT_TRUE(host().click(host().findAll(Query::symbol("eye.fill")).front()));
    EXPECT_EQ(passwordField().kind(), ViewKind::TextField);
    EXPECT_EQ(passwordField().value(), "secret1");
    EXPECT_EQ(repeatField().kind(), ViewKind::SecureField);
    EXPECT_EQ(host().count(Query::symbol("eye.slash.fill")), 1u);
    EXPECT_EQ(host().count(Query::symbol("eye.fill")), 1u);

    ASSERT_TRUE(host().click(node(Query::symbol("eye.slash.fill"))));
    EXPECT_EQ(passwordField().kind(), ViewKind::SecureField);
    EXPECT_EQ(passwordField().value(), "secret1");
}

TEST_F(LoginScreenTest, ForgetPasswordOpensTheResetPageAndChangesNothingElse) {
    settle();
    ASSERT_TRUE(host().click(node(Query::button("Forget Password"))));
    EXPECT_EQ(*opened_, std::vector<std::string>{"https://velmora.example/reset_password"});
    settle();
    EXPECT_EQ(shownMode(), Mode::logIn);
    EXPECT_EQ(vm_->state.get(), ProgramState::needLogin);
}

TEST_F(LoginScreenTest, AResetPageNothingCanOpenShowsItsAddressAndKeepsTheForm) {
    // The environment learns later that the desktop found nothing to open the page with.
    std::function<void(bool)> report;
    show(plat::ui::make<LoginView>([this] {
             return controller_;
         }).environment([&report](plat::ui::EnvironmentValues& env) {
        env.openURL.outcomeHandler = [&report](const std::string&, std::function<void(bool)> done) {
            report = std::move(done);
        };
    }));
    settle();
    ASSERT_TRUE(host().setText(emailField(), "typed@example.org"));
    ASSERT_TRUE(host().click(node(Query::button("Forget Password"))));
    ASSERT_TRUE(report);
    settle();
    EXPECT_FALSE(topAlert()) << "nothing until the outcome is known";
    report(false);
    settle();
    ASSERT_TRUE(topAlert());
    EXPECT_NE(topAlert().text().find("https://velmora.example/reset_password"), std::string::npos)
        << topAlert().text();
    ASSERT_TRUE(host().click(topAlert().find(Query::button("OK"))));
    EXPECT_FALSE(topAlert());
    EXPECT_EQ(emailField().value(), "typed@example.org");
}

TEST_F(LoginScreenTest, ResultsAreAppliedOneTurnAfterTheirDelivery) {
    settle();
    struct Case {
        Mode from;
        Status result;
        Mode to;
        ProgramState root;
    };
    const Case cases[] = {
        {Mode::signUp, Status::none, Mode::logIn, ProgramState::needLogin},
        {Mode::signUp, Status::logInFalse, Mode::logIn, ProgramState::needLogin},
        {Mode::logIn, Status::signUpFalse, Mode::signUp, ProgramState::needLogin},
        {Mode::signUp, Status::logInTrue, Mode::logIn, ProgramState::loggedIn},
        {Mode::signUp, Status::signUpTrue, Mode::signUp, ProgramState::loggedIn},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.result));
        vm_->state = ProgramState::needLogin;
        if (shownMode() != c.from) {
            ASSERT_TRUE(host().click(node(Query::button(c.from == Mode::signUp ? "Sign Up" : "Log In"))));
        }
        ASSERT_EQ(shownMode(), c.from);
        controller_->loginResult = c.result;
        host().update();
        EXPECT_EQ(shownMode(), c.from);
        EXPECT_EQ(vm_->state.get(), ProgramState::needLogin);
        settle();
        EXPECT_EQ(shownMode(), c.to);
        EXPECT_EQ(vm_->state.get(), c.root);
    }
}

TEST_F(LoginScreenTest, AScreenThatIsGoneIsLeftAlone) {
    // A success delivered just before the screen leaves the tree must not log the session in, and
    // the queued window sizing must not run.
    const plat::ScreenRect before = window()->frame();
    controller_->loginResult = Status::logInTrue;
    presence_->shown = false;
    host().update();
    EXPECT_FALSE(has(Query::placeholder("Email")));
    settle();
    EXPECT_EQ(vm_->state.get(), ProgramState::needLogin);
    EXPECT_EQ(window()->frame(), before);
}

} // namespace

namespace {

TEST_F(LoginScreenTest, TheLeastSizeHoldsTheLargerFormFromTheStartAndNeverChanges) {
    const plat::ui::HeadlessMetrics metrics;
    for (const char* language : {"en", "es"}) {
        SCOPED_TRACE(language);
        showIn(language);
        const std::string signUp = plat::LocalizedString("Sign Up");
        const std::string logIn = plat::LocalizedString("Log In");
        ASSERT_EQ(plat::Localization::shared().language(), language);
        ASSERT_TRUE(has(Query::button(signUp))) << host().dump();
        const plat::Size atStart = host().minimumContentSize();
        // Each form with the window at the screen's least size: the sign-up form needs all of it.
        ASSERT_TRUE(host().click(node(Query::button(signUp))));
        EXPECT_EQ(host().minimumContentSize(), atStart) << "switching to sign-up keeps the least size";
        host().setContentSize(atStart);
        host().update();
        EXPECT_EQ(host().minimumContentSize(), atStart);
        EXPECT_GE(node(Query::image("logo")).frame().y, 0) << host().dump();
        EXPECT_LE(node(Query::button(logIn)).frame().maxY(), atStart.height) << host().dump();
        EXPECT_LE(node(Query::button(logIn)).frame().maxX(), atStart.width);
        // The sign-up form is the larger one: any lower and it would be cut.
        host().setContentSize({atStart.width, atStart.height - 20});
        host().update();
        EXPECT_TRUE(node(Query::image("logo")).frame().y < 0 ||
                    node(Query::button(logIn)).frame().maxY() > atStart.height - 20);
        host().setContentSize(atStart);
        ASSERT_TRUE(host().click(node(Query::button(logIn))));
        EXPECT_EQ(host().minimumContentSize(), atStart) << "switching back keeps it too";
        EXPECT_LE(node(Query::button(signUp)).frame().maxY(), atStart.height);
    }
    plat::UserDefaults::resetForTesting();
    plat::Localization::shared().resetForTesting();
}

TEST_F(LoginScreenTest, TheWindowsMinimumHoldsTheWholeFormInEitherMode) {
    for (const char* switchTo : {"", "Sign Up"}) {
        SCOPED_TRACE(switchTo);
        if (*switchTo) {
            ASSERT_TRUE(host().click(node(Query::button(switchTo))));
        }
        host().setContentSize({800, 500});
        host().update();
        const plat::Size least = host().minimumContentSize();
        EXPECT_GT(least.height, 128) << "at least the logo";
        host().setContentSize(least);
        host().update();
        const plat::Rect logo = node(Query::image("logo")).frame();
        EXPECT_GE(logo.y, 0);
        const plat::ui::NodeRef last = node(Query::button(*switchTo ? "Log In" : "Sign Up"));
        EXPECT_LE(last.frame().maxY(), least.height) << "the mode row is inside";
        EXPECT_LE(last.frame().maxX(), least.width);
        // Any lower and the larger form, sign-up, would be cut.
        if (!*switchTo) continue;
        host().setContentSize({least.width, least.height - 20});
        host().update();
        EXPECT_TRUE(node(Query::image("logo")).frame().y < 0 ||
                    node(Query::button(*switchTo ? "Log In" : "Sign Up")).frame().maxY() > least.height - 20);
    }
}

} // namespace

namespace {

TEST_F(LoginScreenTest, TheMainButtonsTitleAndTheModeRowAreWholeInEitherModeAndLanguage) {
    const plat::ui::HeadlessMetrics metrics;
    for (const char* language : {"en", "es"}) {
        SCOPED_TRACE(language);
        showIn(language);
        for (const std::string key : {"Login", "Sign Up"}) {
            const std::string title = plat::LocalizedString(key);
            if (key == "Sign Up") {
                ASSERT_TRUE(host().click(node(Query::button(title)))) << host().dump();
            }
            const std::string prompt = plat::LocalizedString(
                key == "Login" ? "Don't have account yet?" : "If you already have an account, ");
            for (const bool least : {false, true}) {
                host().setContentSize(least ? host().minimumContentSize() : plat::Size{800, 472});
                host().update();
                const auto button = host().require(Query::button(title));
                const auto text = button.find(Query::text(title));
                ASSERT_TRUE(text) << host().dump();
                // As wide as its text, also at the window's least size: never cut short to "Si…".
                EXPECT_GE(text.frame().width + 0.01,
                          metrics.textWidth(title, text.environment().effectiveFont()))
                    << title << (least ? " at the least size" : "");
                if (!least) {
                    EXPECT_GT(button.frame().width, text.frame().width * 2) << "it spans the form";
                }
                // The mode row's prompt is never cut short either: it takes a second line instead.
                const auto line = host().require(Query::text(prompt));
                const plat::ui::Font font = line.environment().effectiveFont();
                EXPECT_TRUE(line.frame().width + 0.01 >= metrics.textWidth(prompt, font) ||
                            line.frame().height >= 2 * metrics.lineHeight(font))
                    << prompt << (least ? " at the least size" : "") << "\n"
                    << host().dump();
            }
        }
    }
    plat::UserDefaults::resetForTesting();
    plat::Localization::shared().resetForTesting();
}

} // namespace

namespace {

TEST_F(LoginScreenTest, InSpanishEveryEntryShowsASpanishPlaceholder) {
    showIn("es");
    ASSERT_TRUE(host().click(node(Query::button(plat::LocalizedString("Sign Up")))));
    for (const char* key : {"Email", "Password", "Repeat Password"}) {
        const std::string shown = plat::LocalizedString(key);
        EXPECT_NE(shown, key) << "the Spanish table has the key";
        EXPECT_TRUE(has(Query::placeholder(shown))) << key << "\n" << host().dump();
    }
    plat::UserDefaults::resetForTesting();
    plat::Localization::shared().resetForTesting();
}

} // namespace
