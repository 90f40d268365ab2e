#include "app/views/LoginView.h"

#include "platform/ui/Host.h"

#include <algorithm>
#include <cmath>

using namespace plat::ui;
using Mode = LoginView::LoginViewState;

namespace {

// The outline drawn around every entry of the form.
AnyView entryOutline() {
    return ShapeView(Shape::roundedRectangle(2, true).stroked(Color::gray().opacity(0.7), 1));
}

// An entry of the form: plain style, padded, outlined.
AnyView styledEntry(AnyView entry) {
    return entry.textFieldStyle(TextFieldStyle::Plain)
        .padding(Edge::Vertical, 10)
        .padding(Edge::Horizontal)
        .background(entryOutline());
}

// A text link: a plain button whose text is underlined in black, whatever its own colour.
AnyView link(TextValue title, Color color, std::function<void()> action) {
    return Button(std::move(action),
                  Text(std::move(title)).foregroundColor(color).underline(true, Color::black()))
        .buttonStyle(ButtonStyle::Plain);
}

} // namespace

LoginView::PasswordField::PasswordField(std::string secureFieldLabel, plat::Binding<std::string> password)
    : secureFieldLabel(std::move(secureFieldLabel)), password(std::move(password)) {}

AnyView LoginView::PasswordField::body() const {
    const bool secure = isSecure.get();
    const TextValue placeholder = TextValue::verbatim(secureFieldLabel);
    // Shown in the clear, the password is still not offered to other programs.
    AnyView entry =
        secure ? SecureField(placeholder, password) : TextField(placeholder, password).privacySensitive();
    // Only the mask changes; the typed text stays where it is.
    AnyView eye =
        Button([state = isSecure] { state.toggle(); },
               SystemImage(secure ? "eye.fill" : "eye.slash.fill").foregroundColor(Color::secondary()))
            .buttonStyle(ButtonStyle::Plain);
    return VStack(HAlign::Leading, 8, {HStack(VAlign::Center, {entry, eye})});
}

LoginView::LoginView() : LoginView([] { return std::make_shared<LoginController>(); }) {}

LoginView::LoginView(std::function<std::shared_ptr<LoginController>()> ctrl) : ctrl(std::move(ctrl)) {}

AnyView LoginView::formGroup(Mode mode) const {
    const bool logIn = mode == Mode::logIn;
    auto controller = ctrl.get();
    auto state = loginViewState;
    auto mail = email;
    auto pass = password;
    auto repeat = repeatPassword;

    // A password entry shows its label as it is given, so it is given in the interface language.
    auto shownText = [localizer = localize()](const std::string& key) {
        return TextValue(key).resolve(localizer);
    };
    std::vector<AnyView> items;
    items.push_back(styledEntry(TextField("Email", email.binding())));
    items.push_back(
        styledEntry(make<PasswordField>(shownText("Password"), password.binding())).padding(Edge::Top));
    items.push_back(If(mode == Mode::signUp, [&] {
        return styledEntry(make<PasswordField>(shownText("Repeat Password"), repeatPassword.binding()))
            .padding(Edge::Top);
    }));

    auto forgetPassword = [open = openURL(), unopened = unopenedLink] {
        LinkOpener::open(open, resetPasswordURL, unopened);
    };
    items.push_back(HStack(
        VAlign::Center,
        {
            Toggle(keeplogged.binding(), AnyView()).toggleStyle(ToggleStyle::Checkbox).labelsHidden(),
            // Where the row is too narrow for it on one line, all its lines show.
            Text("Keep Logged In").foregroundColor(Color::black()).frame(FrameSpec{.fixedHeight = true}),
            Spacer(0),
            link("Forget Password", Color::black(), forgetPassword),
        }));

    std::function<void()> mainAction;
    if (logIn) {
        mainAction = [state, controller, mail, pass] {
            state.set(Mode::loading);
            controller->loginPressed(mail.get(), pass.get());
        };
    } else {
        mainAction = [state, controller, mail, pass, repeat] {
            state.set(Mode::loading);
            controller->signupPressed(mail.get(), pass.get(), repeat.get());
        };
    }
    const TextValue title = logIn ? TextValue("Login") : TextValue("Sign Up");
    AnyView label = HStack(VAlign::Center, {Spacer(), Text(title), Spacer(), SystemImage("arrow.right")})
                        .foregroundColor(Color::white())
                        .padding(Edge::Vertical, 10)
                        .padding(Edge::Horizontal)
                        .background(Color::blue())
                        .clipShape(Shape::roundedRectangle(2));
    items.push_back(Button(mainAction, label)
                        .buttonStyle(ButtonStyle::Plain)
                        .keyboardShortcut(KeyboardShortcut::defaultAction())
                        .padding(Edge::Top));

    // The prompt keeps to one line and is never narrower than that line, so the form's least width
    // holds it whole. (Wrapped at the least width, its height could only be guessed before the width
    // was known, and the window's least height would no longer be exact.)
    auto prompt = [shownText, metrics = textMetrics()](const char* key) {
        AnyView text = Text(key).foregroundColor(Color::gray());
        if (!metrics) return text;
        return text.frame(FrameSpec{.minWidth = std::ceil(metrics->textWidth(shownText(key), Font::body()))});
    };
    AnyView modeRow =
        logIn ? HStack(VAlign::Center, {prompt("Don't have account yet?"),
                                        link("Sign Up", Color::blue(), [state] { state.set(Mode::signUp); })})
              : HStack(VAlign::Center, {prompt("If you already have an account, "),
                                        link("Log In", Color::blue(), [state] { state.set(Mode::logIn); })});
    items.push_back(modeRow.padding(Edge::Top, 10));
    return Group(std::move(items));
}

AnyView LoginView::logo() {
    return Image("logo").resizable().scaledToFit().frame(128, 128);
}

AnyView LoginView::formColumnOf(AnyView logo, AnyView content) {
    AnyView title = Text("Velmora")
                        .font(Font::largeTitle())
                        .fontWeight(FontWeight::Heavy)
                        .foregroundColor(Color::black())
                        .padding(Edge::Vertical, 10);
    return VStack(HAlign::Center, {Spacer(0), std::move(logo), title, std::move(content), Spacer(0)})
        .padding(Edge::Horizontal, 50);
}

plat::Size LoginView::leastFormSize() const {
    // Measured in the language and with the text metrics of this window. The copies are built
    // apart from the window's tree: nothing in them is shown, focused or subscribed.
    const auto localizer = localize();
    plat::Size least;
    for (const Mode mode : {Mode::logIn, Mode::signUp}) {
        AnyView column =
            formColumnOf(logo(), formGroup(mode)).environment([localizer](EnvironmentValues& env) {
                env.localize = localizer;
            });
        const plat::Size size = minimumSize(column, textMetrics());
        least = {std::max(least.width, size.width), std::max(least.height, size.height)};
    }
    return least;
}

AnyView LoginView::brandColumn() const {
    auto controller = ctrl.get();
    plat::Binding<bool> presented([controller] { return controller->loginError.get(); },
                                  [controller](const bool& shown) { controller->loginError = shown; });
    return VStack(HAlign::Center, {Spacer(), Image("rightBarLogo").resizable().scaledToFit(), Spacer()})
        .background(Color::named("rightBarColor"))
        .alert(presented, [controller] {
            return Alert{"Message",
                         TextValue::verbatim(controller->loginErrorMsg.get()),
                         {AlertButton::destructive("OK", [controller] { controller->loginErrorMsg = ""; })}};
        });
}

AnyView LoginView::body() const {
    // The result handler runs a turn after the delivery; by then this instance may have been
    // replaced, so it works on shared copies of the state and only while the screen lives.
    std::weak_ptr<ViewLifetime> alive = lifetime_.get();
    std::weak_ptr<ContentViewModel> model = vm.get();
    auto state = loginViewState;
    auto onResult = [alive, model, state](const Status& result) {
        deferWhileAlive(alive, [model, state, result] {
            switch (result) {
            case Status::logInTrue:
                if (auto m = model.lock()) m->state = ContentViewModel::ProgramState::loggedIn;
                state.set(Mode::logIn);
                break;
            case Status::signUpTrue:
                if (auto m = model.lock()) m->state = ContentViewModel::ProgramState::loggedIn;
                break;
            case Status::signUpFalse:
                state.set(Mode::signUp);
                break;
            case Status::none:
            case Status::logInFalse:
                state.set(Mode::logIn);
                break;
            }
        });
    };

    const Mode mode = loginViewState.get();
    AnyView content = If(
        mode == Mode::loading,
        [] {
            return Group({Spacer(), ProgressView("Loading…"), Spacer()});
        },
        [this, mode] { return formGroup(mode); });
    // The column is never smaller than the larger of the two forms, so switching between them
    // leaves the window's minimum, and with it the window, as it is.
    const plat::Size least = leastFormSize();
    AnyView formColumn =
        LinkOpener::alert(formColumnOf(logo().onReceive<Status>(ctrl->loginResult, onResult), content)
                              .frame(FrameSpec{.minWidth = least.width, .minHeight = least.height})
                              .background(Color::white()),
                          unopenedLink);

    AnyView root =
        HStack(VAlign::Center, 0, {Spacer(), formColumn, brandColumn()})
            .preferredColorScheme(ColorScheme::Light)
            .onAppear([alive] { deferWhileAlive(alive, [] { setMainWindowFrameSize(800, 500); }); })
            .testId("LoginView");
    return endsWith(root, lifetime_.get());
}
