// The plans sheet of the main window, open while the controller's `showPricing` is true. It owns a
// plan catalogue controller of its own (a new one, and so a new request, for each presentation)
// and shows the published plans as a row of cards, each with a "Get" button that opens the plan's
// checkout page in the browser. While the catalogue is empty (also while the first request is
// still under way) it shows a message and a "Retry" button instead.
//
// Main thread only; the screen redraws when the controller publishes and schedules nothing itself.
#pragma once

#include "app/views/LinkOpener.h"
#include "platform/ui/Toolkit.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class PricingController;
class VelmoraController;

class PricingView : public plat::ui::Screen {
public:
    // One plan of the catalogue, as the screen lists it.
    struct Plan {
        std::string name;        // the plan's display name
        std::string duration;    // "30 days", "Forever"
        std::string price;       // as the service sends it
        std::string purchaseURL; // the full checkout link
        std::vector<std::string> benefits;

        bool operator==(const Plan&) const = default;
    };

    // One card of the row: name, duration, price, benefit lines and the "Get" button.
    class PlanRow : public plat::ui::Screen {
    public:
        explicit PlanRow(Plan plan) : plan(std::move(plan)) {}
        plat::ui::AnyView body() const override;

        // Hands the plan's checkout link to the workspace; a link that is not a valid URL is
        // ignored. When the desktop cannot open it, `unopened` takes the address for the card's
        // alert; without it the refusal goes unreported.
        static void openPurchaseURL(const std::string& purchaseURL);
        static void openPurchaseURL(const std::string& purchaseURL, LinkOpener::Unopened unopened);

        Plan plan;
        LinkOpener::Unopened unopenedLink{std::nullopt};
    };

    // `ctrl` is the main window's controller; the close button toggles its `showPricing`. The plan
    // controller is made when the screen's place is first built.
    explicit PricingView(std::shared_ptr<VelmoraController> ctrl);
    plat::ui::AnyView body() const override;

    plat::ui::ObservedObject<VelmoraController> ctrl;

private:
    plat::ui::StateObject<PricingController> pricingController;
};
