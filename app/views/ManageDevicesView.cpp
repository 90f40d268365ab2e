#include "app/views/ManageDevicesView.h"

#include "app/network/Client.h"
#include "app/views/SheetCloseButton.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Text.h"

#include <algorithm>
#include <cctype>

using namespace plat::ui;

ManageDevicesView::ManageDevicesView(std::shared_ptr<VelmoraController> ctrl) : ctrl(std::move(ctrl)) {}

std::string ManageDevicesView::platformSymbol(const std::string& platform) {
    const std::string code = plat::text::asciiLowercased(platform);
    if (code == "web" || code == "chrome-webstore" || code == "edge-webstore") return "globe";
    if (code == "macsa" || code == "mac") return "laptopcomputer";
    if (code == "ios") return "applelogo";
    if (code == "winstore") return "desktopcomputer";
    if (code == "tvos") return "appletv";
    return "questionmark.circle";
}

AnyView ManageDevicesView::platformIcon(const std::string& platform) const {
    return SystemImage(platformSymbol(platform));
}

void ManageDevicesView::loadDevices() const {
    isLoading.set(true);
    errorMessage.set(std::nullopt);
    // The state members share their storage with these copies, so a late reply lands in the state
    // of the sheet that asked and nowhere else.
    Client::shared().getDevices([shown = devices, loading = isLoading, message = errorMessage](
                                    std::optional<plat::Error> error, std::optional<JSON> reply) {
        plat::mainQueue().async(
            [shown, loading, message, error = std::move(error), reply = std::move(reply)] {
                loading.set(false);
                if (error) {
                    message.set("Failed to load devices: " + error->localizedDescription());
                } else if (reply) {
                    std::vector<Device> list;
                    for (const JSON& element : reply->arrayValue())
                        list.emplace_back(element);
                    shown.set(std::move(list));
                }
            });
    });
}

void ManageDevicesView::deleteDevice(const std::string& id) const {
    Client::shared().deleteDevice(
        id, [id, shown = devices, message = errorMessage](std::optional<plat::Error> error) {
            plat::mainQueue().async([id, shown, message, error = std::move(error)] {
                if (error) {
                    message.set(error->localizedDescription());
                    return;
                }
                shown.modify([&id](std::vector<Device>& list) {
                    std::erase_if(list, [&id](const Device& device) { return device.id == id; });
                });
            });
        });
}

AnyView ManageDevicesView::deviceRow(const Device& device) const {
    AnyView details = VStack(
        HAlign::Leading, 5,
        {
            Text(TextValue("Name: %@", {device.name})).font(Font::headline()),
            Text(TextValue("OS: %@", {device.os})).font(Font::subheadline()).foregroundColor(Color::gray()),
            HStack({Text("Platform: ").font(Font::footnote()).foregroundColor(Color::secondary()),
                    platformIcon(device.platform).help(TextValue::verbatim(device.platform))}),
            Text(TextValue("Last Login: %@", {device.lastLogin}))
                .font(Font::footnote())
                .foregroundColor(Color::secondary()),
        });
    AnyView remove = Button("Delete", [this, id = device.id] { deleteDevice(id); })
                         .buttonStyle(ButtonStyle::Borderless)
                         .foregroundColor(Color::red());
    return HStack(VAlign::Center, {details, Spacer(), remove});
}

AnyView ManageDevicesView::content() const {
    // The indicator and the message take the room the list will take, so the header above stays
    // at the top of the sheet whichever of the three shows.
    const FrameSpec room{.maxWidth = infinity, .maxHeight = infinity};
    if (isLoading.get()) return Branch("loading", ProgressView("Loading devices...").frame(room));
    if (auto message = errorMessage.get())
        return Branch(
            "error", VerbatimText(*message).foregroundColor(Color::red()).testId("devicesError").frame(room));
    return Branch("list", List({ForEach(
                                   devices.get(), [](const Device& device) { return device.id; },
                                   [this](const Device& device) { return deviceRow(device); })})
                              .testId("devicesList"));
}

AnyView ManageDevicesView::body() const {
    auto controller = ctrl.get();
    AnyView header = HStack({Spacer(), SheetCloseButton([controller] {
                                 controller->showManageDevices = !controller->showManageDevices.get();
                             })})
                         .padding(Edge::Top, 10)
                         .padding(Edge::Trailing, 10);
    return VStack({header, content()})
        .padding()
        .frame(FrameSpec{.minWidth = 500, .minHeight = 400})
        .onAppear([this] { loadDevices(); })
        .navigationTitle("Manage Devices")
        .testId("ManageDevicesView");
}
