// The root session model: whether the window shows the login screen or the main window. It starts
// logged in only when the keychain holds a non-empty "email" and "token"; the login screen, the
// account menu and the "showLoginView" notification change it afterwards. Main thread only.
#pragma once

#include "platform/foundation/ObservableObject.h"
#include "platform/foundation/Published.h"

class ContentViewModel : public plat::ObservableObject {
public:
    enum class ProgramState { needLogin = 0, loggedIn = 1 };

    // Reads the keychain synchronously to choose the first state.
    ContentViewModel();

    // Every assignment publishes, also one of the value already held.
    plat::Published<ProgramState> state;

    // The state the stored credentials call for: "email" is read first and "token" only when there
    // is an e-mail; both must be non-empty. A failed read counts as a missing item.
    static ProgramState initialState();
};
