#include "app/views/VPNMainView.h"

#include "app/classes/Preferences.h"
#include "app/views/AccountMenu.h"
#include "app/views/ManageDevicesView.h"
#include "app/views/MapView.h"
#include "app/views/PricingView.h"
#include "app/views/SettingsView.h"
#include "app/views/StatusView.h"
#include "app/views/VPNRegionsView.h"
#include "platform/foundation/NotificationCenter.h"

using namespace plat::ui;

namespace {

// A two-way link to one of the controller's sheet flags.
plat::Binding<bool> flagBinding(const std::shared_ptr<VelmoraController>& controller,
                                plat::Published<bool> VelmoraController::*flag) {
    return plat::Binding<bool>([controller, flag] { return ((*controller).*flag).get(); },
                               [controller, flag](const bool& v) { (*controller).*flag = v; });
}

} // namespace

VPNMainView::VPNMainView() : VPNMainView(true, [] { return VelmoraController::create(); }) {}

VPNMainView::VPNMainView(bool compactView, std::function<std::shared_ptr<VelmoraController>()> ctrl)
    : compactView("CompactView", compactView), ctrl(std::move(ctrl)) {}

void VPNMainView::adjustWindowSize() const {
    // The setting is read when the step runs, so a change made in between is honoured.
    deferWhileAlive(lifetime_.get(),
                    [setting = compactView] { setMainWindowFrameSize(setting.get() ? 300 : 800, 600); });
}

AnyView VPNMainView::loggedInContent() const {
    auto controller = ctrl.get();
    const bool compact = compactView.get();

    AnyView menu = make<AccountMenu>(controller)
                       .sheet(flagBinding(controller, &VelmoraController::showSettings),
                              [controller] { return make<SettingsView>(controller, VPNProtocol::Optimal); })
                       .sheet(flagBinding(controller, &VelmoraController::showPricing),
                              [controller] { return make<PricingView>(controller); })
                       .sheet(flagBinding(controller, &VelmoraController::showManageDevices),
                              [controller] { return make<ManageDevicesView>(controller); });
    AnyView planText = If(!compact, [&] {
        return VerbatimText(controller->subscription.get())
            .font(Font::system(18, FontWeight::Regular, FontDesign::Rounded))
            .padding(Edge::Leading, 60)
            .testId("subscription");
    });
    AnyView topBar = HStack(VAlign::Center, {planText, menu});

    // The list takes every point the column can spare, so the spacers ask for none of their own:
    // in the compact window a status on two lines ("Connected to Optimal region", then the
    // country) still leaves three whole rows of regions.
    AnyView leftColumn = VStack(HAlign::Center, {Spacer(0), make<StatusView>(controller), Spacer(0),
                                                 Spacer(0), make<VPNRegionsView>(controller)})
                             .frame(300);
    // The full layout's least width keeps a map wide enough to find a region on.
    AnyView map = If(!compact, [&] { return make<MapView>(controller).frame(FrameSpec{.minWidth = 300}); });
    AnyView mainRow = HStack(VAlign::Center, {leftColumn, map});
    return Group({Spacer(), topBar, mainRow});
}

AnyView VPNMainView::body() const {
    // Presence is all that counts here: empty stored values pass, a failed read does not.
    const bool loggedIn = Preferences::token().has_value() && Preferences::email().has_value();
    AnyView content = If(
        loggedIn, [this] { return loggedInContent(); },
        [] {
            return Text("Please log in").onAppear([] {
                plat::NotificationCenter::defaultCenter().post("logout");
            });
        });
    AnyView root =
        VStack(HAlign::Center, {content}).onAppear([this] { adjustWindowSize(); }).testId("VPNMainView");
    return endsWith(root, lifetime_.get());
}
