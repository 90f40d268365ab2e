// The searchable list of VPN regions in the main window's left column. It shows the regions the
// controller has loaded, narrowed by a search text, with the selection bound to the controller's
// current region. Picking a region other than the stored one asks the controller to switch to it
// one main-queue turn later; the controller's own default pick (stored before it is published)
// switches nothing. From the keyboard, Return chooses the row the arrow keys reached as a click
// does, and on the stored region it connects when the tunnel is down, as the power button would.
// Each time the list is shown it asks the controller to reload the regions and then the plan
// text, also one turn later.
//
// Main thread only.
#pragma once

#include "app/controllers/VelmoraController.h"
#include "app/network/VPNRegion.h"
#include "platform/ui/Toolkit.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VPNRegionsView : public plat::ui::Screen {
public:
    explicit VPNRegionsView(std::shared_ptr<VelmoraController> ctrl) : ctrl(std::move(ctrl)) {}
    plat::ui::AnyView body() const override;

    // The regions whose country name or city contains `searchTerm` ignoring case, in their order;
    // all of them for an empty term. The term is used as typed, without trimming.
    static std::vector<VPNRegion> filtered(const std::vector<VPNRegion>& regions,
                                           const std::string& searchTerm);

    plat::ui::ObservedObject<VelmoraController> ctrl;
    plat::ui::State<std::string> searchTerm{std::string()};

private:
    plat::ui::AnyView searchField() const;
    plat::ui::AnyView regionList() const;
    // What the list does with each value the current region publishes.
    static void currentRegionChanged(const std::shared_ptr<VelmoraController>& controller,
                                     const std::optional<int64_t>& regionId);
    // Return on a row, after the row is chosen.
    static void rowSubmitted(const std::shared_ptr<VelmoraController>& controller, const plat::ui::Tag& tag);
};
