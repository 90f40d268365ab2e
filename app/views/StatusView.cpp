#include "app/views/StatusView.h"

#include "app/classes/Preferences.h"

using namespace plat::ui;
using plat::NEVPNStatus;

StatusView::StatusView(std::shared_ptr<VelmoraController> ctrl) : ctrl(std::move(ctrl)) {}

StatusView::Appearance StatusView::appearance(NEVPNStatus status, const std::string& country) {
    switch (status) {
    case NEVPNStatus::invalid:
        return {"notConnectedButton", false, "VPN Not Connected"};
    case NEVPNStatus::disconnected:
        return {"notConnectedButton", false, "Not Connected"};
    case NEVPNStatus::connecting:
        return {"connectingButton", true, "Connecting..."};
    case NEVPNStatus::connected:
        return {"connectedButton", false, TextValue("Connected to %@", {country})};
    case NEVPNStatus::reasserting:
        return {"connectingButton", true, "Reconnecting..."};
    case NEVPNStatus::disconnecting:
        return {"connectingButton", true, "Disconnecting..."};
    }
    return {"connectingButton", true, "Error. Reconnecting..."};
}

AnyView StatusView::body() const {
    const NEVPNStatus status = ctrl->connectionStatus.get();
    // The country is not observed: it is read again on every rebuild the controller causes.
    const Appearance look = appearance(
        status, status == NEVPNStatus::connected ? Preferences::countryConnected() : std::string());

    AnyView image = Image(look.image).resizable().scaledToFit().frame(150, 150);
    AnyView powerButton = Button([controller = ctrl.get()] { controller->doConnect(); },
                                 ZStack({image, If(look.spinner, [] { return ProgressView(); })}))
                              .buttonStyle(ButtonStyle::Plain)
                              .testId("powerButton")
                              .padding();
    AnyView text = HStack(VAlign::Center, {Text(look.text).font(Font::system(20).bold())});
    return Group({powerButton, Spacer(), text});
}
