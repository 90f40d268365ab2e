// The device sheet of the main window, open while the controller's `showManageDevices` is true. Each
// time it comes on screen it fetches the account's devices from the service and lists them, each
// with its name, system, platform symbol and last sign-in, and a "Delete" button that removes the
// device from the account (and, on success, from the list shown; the list is not fetched again). A
// failure replaces the list with its message until the sheet is opened again.
//
// Main thread only. The client's completions arrive on the main queue; the screen applies them one
// main-queue turn later, into its own state, so a reply for a sheet that has closed changes nothing
// on screen.
#pragma once

#include "app/controllers/VelmoraController.h"
#include "app/views/Device.h"
#include "platform/ui/Toolkit.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class ManageDevicesView : public plat::ui::Screen {
public:
    // `ctrl` is the main window's controller; the close button toggles its `showManageDevices`.
    explicit ManageDevicesView(std::shared_ptr<VelmoraController> ctrl);
    plat::ui::AnyView body() const override;

    // The symbol shown for a platform code, compared without regard to case ("MacSA" is a laptop);
    // unknown codes give "questionmark.circle".
    static std::string platformSymbol(const std::string& platform);

    plat::ui::ObservedObject<VelmoraController> ctrl;

private:
    void loadDevices() const;
    void deleteDevice(const std::string& id) const;
    plat::ui::AnyView platformIcon(const std::string& platform) const;
    plat::ui::AnyView deviceRow(const Device& device) const;
    plat::ui::AnyView content() const;

    plat::ui::State<std::vector<Device>> devices{std::vector<Device>{}};
    plat::ui::State<bool> isLoading{false};
    plat::ui::State<std::optional<std::string>> errorMessage{std::nullopt};
};
