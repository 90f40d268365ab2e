// The controller behind the login and sign-up screen: it checks what the user typed, sends the
// sign-in or sign-up request, stores the token, e-mail and password on success and publishes the
// outcome. Main thread only. Made with std::make_shared: a request in flight keeps it alive.
#pragma once

#include "platform/foundation/ObservableObject.h"
#include "platform/foundation/Published.h"

#include <memory>
#include <optional>
#include <string>

class JSON;
namespace plat {
struct Error;
}

// The result of a sign-in or sign-up attempt.
enum class Status { none, logInTrue, logInFalse, signUpTrue, signUpFalse };

class LoginController : public plat::ObservableObject, public std::enable_shared_from_this<LoginController> {
public:
    // Prints "LoginController init".
    LoginController();

    // Kept for the screen; the operations take the typed texts as arguments.
    plat::Published<std::string> email{this, ""};
    plat::Published<std::string> password{this, ""};
    plat::Published<std::string> repeatPassword{this, ""};
    // True on every failure; the screen clears it when its alert closes.
    plat::Published<bool> loginError{this, false};
    // The failure text; the screen sets "" from the alert's OK button.
    plat::Published<std::string> loginErrorMsg{this, "NotLoggedIn"};
    // The latest attempt's result; every attempt publishes, also the same value again.
    plat::Published<Status> loginResult{this, Status::none};

    // Whether the whole text is an e-mail address (letters of any script allowed).
    bool isValidEmailAddr(const std::string& strToValidate) const;
    // Checks the input and signs in; rejected input publishes at once, a reply on a later main-queue turn.
    void loginPressed(const std::string& email, const std::string& password);
    // Checks the input (including that both passwords agree) and signs up.
    void signupPressed(const std::string& email, const std::string& password,
                       const std::string& repeatPassword);

private:
    // Publishes the message, then the flag, then the result, in that order.
    void fail(const std::string& message, Status result);
    // Handles a sign-in or sign-up reply; true when it stored the credentials.
    bool accept(const std::optional<plat::Error>& error, const std::optional<JSON>& json,
                const std::string& email, const std::string& password, Status failure);
};
