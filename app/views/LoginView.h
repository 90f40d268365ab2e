// The login and sign-up screen: the window's content while the session model says `needLogin`.
// The user signs in with an e-mail address and a password, or switches to the sign-up form that
// asks for the password twice, and can open the password-reset page. The screen owns its
// LoginController; each result the controller publishes is applied one main-queue turn later
// (success logs the session in, failure brings the form back), and the controller's error text
// shows in an alert. When shown, the main window is sized to 800 by 500 points; the screen's least
// size holds either form, so switching between them never resizes the window.
//
// Main thread only.
#pragma once

#include "app/ContentViewModel.h"
#include "app/controllers/LoginController.h"
#include "app/views/LinkOpener.h"
#include "app/views/ViewLifetime.h"
#include "platform/ui/Toolkit.h"

#include <functional>
#include <memory>
#include <string>

class LoginView : public plat::ui::Screen {
public:
    // The screen's mode.
    enum class LoginViewState { loading = 0, logIn = 1, signUp = 2 };

    // One password entry with a button that shows or masks the text; each entry starts masked and
    // keeps its own setting.
    class PasswordField : public plat::ui::Screen {
    public:
        PasswordField(std::string secureFieldLabel, plat::Binding<std::string> password);
        plat::ui::AnyView body() const override;

        const std::string secureFieldLabel; // the placeholder, shown verbatim
        const plat::Binding<std::string> password;
        plat::ui::State<bool> isSecure{true};
    };

    // The password-reset page of the service's web site.
    static constexpr const char* resetPasswordURL = "https://velmora.example/reset_password";

    LoginView();
    // The same over a controller made by `ctrl`, called once when the screen's place is first built.
    explicit LoginView(std::function<std::shared_ptr<LoginController>()> ctrl);
    plat::ui::AnyView body() const override;

    plat::ui::EnvironmentObject<ContentViewModel> vm;
    plat::ui::State<LoginViewState> loginViewState{LoginViewState::logIn};
    plat::ui::StateObject<LoginController> ctrl;
    plat::ui::State<std::string> email{""};
    plat::ui::State<std::string> password{""};
    plat::ui::State<std::string> repeatPassword{""};
    plat::ui::State<bool> keeplogged{false};
    plat::ui::Environment<&plat::ui::EnvironmentValues::openURL> openURL;
    plat::ui::Environment<&plat::ui::EnvironmentValues::localize> localize;
    plat::ui::Environment<&plat::ui::EnvironmentValues::textMetrics> textMetrics;
    // The password-reset page, while the desktop could not open it.
    LinkOpener::Unopened unopenedLink{std::nullopt};

private:
    plat::ui::AnyView formGroup(LoginViewState mode) const;
    // The form's column: the logo, the title and `content`.
    static plat::ui::AnyView formColumnOf(plat::ui::AnyView logo, plat::ui::AnyView content);
    static plat::ui::AnyView logo();
    // The least size of the form's column that holds the log-in form and the sign-up form alike.
    plat::Size leastFormSize() const;
    plat::ui::AnyView brandColumn() const;
    // Applies one delivered result (runs a turn after the delivery).
    void handle(Status result) const;

    plat::ui::StateObject<ViewLifetime> lifetime_;
};
