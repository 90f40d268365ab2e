#include "app/views/VPNMainView.h"

#include "app/classes/Preferences.h"
#include "app/views/AccountMenu.h"
#include "app/views/StatusView.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"

using namespace plat::ui;

namespace {

// --- Interim content: the region list, the world map and the three sheet screens are separate
// screens still to come; until then these stand in for them at their places. ---

// The region list's place: the regions by name, loaded (with the plan text) one turn after it shows.
AnyView regionListPlace(const std::shared_ptr<VelmoraController>& controller) {
    std::weak_ptr<VelmoraController> weak = controller;
    auto regions = controller->regions.get();
    return VStack(HAlign::Leading,
                  {Text("VPN Regions List:"),
                   List({ForEach(regions, [](const VPNRegion& r) { return r.id; },
                                 [](const VPNRegion& r) { return VerbatimText(r.country_name); })})})
        .onAppear([weak] {
            plat::mainQueue().async([weak] {
                if (auto c = weak.lock()) {
                    c->loadRegions();
                    c->showCurrentSubscription();
                }
            });
        })
        .testId("VPNRegionsView");
}

AnyView sheetPlace(TextValue title, const char* testId) {
    return VStack({Text(std::move(title)).font(Font::headline())}).padding().testId(testId);
}

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
    deferWhileAlive(lifetime_.get(), [setting = compactView] {
        setMainWindowFrameSize(setting.get() ? 300 : 800, 600);
    });
}

AnyView VPNMainView::loggedInContent() const {
    auto controller = ctrl.get();
    const bool compact = compactView.get();

    AnyView menu = make<AccountMenu>(controller)
                       .sheet(flagBinding(controller, &VelmoraController::showSettings),
                              [] { return sheetPlace("Settings", "SettingsView"); })
                       .sheet(flagBinding(controller, &VelmoraController::showPricing),
                              [] { return sheetPlace("Pricing", "PricingView"); })
                       .sheet(flagBinding(controller, &VelmoraController::showManageDevices),
                              [] { return sheetPlace("Manage Devices", "ManageDevicesView"); });
    AnyView planText = If(!compact, [&] {
        return VerbatimText(controller->subscription.get())
            .font(Font::system(18, FontWeight::Regular, FontDesign::Rounded))
            .padding(Edge::Leading, 60)
            .testId("subscription");
    });
    AnyView topBar = HStack(VAlign::Center, {planText, menu});

    AnyView leftColumn =
        VStack(HAlign::Center, {Spacer(), make<StatusView>(controller), Spacer(), Spacer(), regionListPlace(controller)})
            .frame(300);
    AnyView map = If(!compact, [] { return MapPlaceholder().testId("MapView"); });
    AnyView mainRow = HStack(VAlign::Center, {leftColumn, map});
    return Group({Spacer(), topBar, mainRow});
}

AnyView VPNMainView::body() const {
    // Presence is all that counts here: empty stored values pass, a failed read does not.
    const bool loggedIn = Preferences::token().has_value() && Preferences::email().has_value();
    AnyView content = If(
        loggedIn, [this] { return loggedInContent(); },
        [] {
            return Text("Please log in").onAppear([] { plat::NotificationCenter::defaultCenter().post("logout"); });
        });
    AnyView root = VStack(HAlign::Center, {content}).onAppear([this] { adjustWindowSize(); }).testId("VPNMainView");
    return endsWith(root, lifetime_.get());
}
