// The root view of the application's window: the login screen while the session model says
// `needLogin`, the main window while it says `loggedIn`. It owns the ContentViewModel (made once for
// the life of the root), hands it to every view below through the environment, and returns to the
// login screen on "showLoginView". Main thread only.
#pragma once

#include "app/ContentViewModel.h"
#include "platform/ui/Toolkit.h"

class ContentView : public plat::ui::Screen {
public:
    ContentView();
    plat::ui::AnyView body() const override;

    plat::ui::StateObject<ContentViewModel> vm;
};
