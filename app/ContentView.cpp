#include "app/ContentView.h"

#include "app/views/LoginView.h"
#include "app/views/VPNMainView.h"
#include "platform/foundation/NotificationCenter.h"

using namespace plat::ui;

ContentView::ContentView() : vm([] { return std::make_shared<ContentViewModel>(); }) {}

AnyView ContentView::body() const {
    const bool loggedIn = vm->state.get() == ContentViewModel::ProgramState::loggedIn;
    // The branch is part of the child's identity: every passage builds a fresh screen with fresh state.
    AnyView child = If(loggedIn, make<VPNMainView>(), make<LoginView>());
    std::weak_ptr<ContentViewModel> model = vm.get();
    return VStack({child}).environmentObject(vm.get()).onReceive(
        plat::NotificationCenter::defaultCenter(), "showLoginView", [model](const plat::Notification&) {
            if (auto m = model.lock()) m->state = ContentViewModel::ProgramState::needLogin;
        });
}
