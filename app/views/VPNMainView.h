// The main window: the window's content while the session model says `loggedIn`. It owns the
// session's VelmoraController, checks on every build that the keychain still holds the
// credentials, and lays out the top bar (plan text and account menu), the left column (status block
// and region list) and, unless the compact view is on, the world map. The account menu carries the
// settings, pricing and device sheets, each shown while its controller flag is true. When shown,
// the main window is sized to the layout: 300 (compact) or 800 points wide, 600 high.
//
// Main thread only.
#pragma once

#include "app/ContentViewModel.h"
#include "app/controllers/VelmoraController.h"
#include "app/views/ViewLifetime.h"
#include "platform/ui/Toolkit.h"

#include <functional>
#include <memory>

class VPNMainView : public plat::ui::Screen {
public:
    // "CompactView" (default true), the environment's session model and a new controller.
    VPNMainView();
    // `compactView` is the default for an unset "CompactView"; `ctrl` makes the controller, once,
    // when the screen's place is first built.
    VPNMainView(bool compactView, std::function<std::shared_ptr<VelmoraController>()> ctrl);
    plat::ui::AnyView body() const override;

    // Sizes the main window for the compact setting current when the queued step runs, one
    // main-queue turn from now, unless the screen is gone by then.
    void adjustWindowSize() const;

    plat::ui::AppStorage<bool> compactView;
    plat::ui::EnvironmentObject<ContentViewModel> vm;
    plat::ui::StateObject<VelmoraController> ctrl;

private:
    plat::ui::AnyView loggedInContent() const;

    plat::ui::StateObject<ViewLifetime> lifetime_;
};
