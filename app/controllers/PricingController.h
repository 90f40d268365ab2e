// Fetches the service's plan catalogue and publishes one display record per plan, each with its
// checkout link. Main thread only. A reply that arrives after the controller is gone is dropped.
#pragma once

#include "app/views/PricingView.h"
#include "platform/foundation/ObservableObject.h"
#include "platform/foundation/Published.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class JSON;

class PricingController : public plat::ObservableObject {
public:
    // Starts with no plans and fetches at once.
    PricingController();
    ~PricingController() override;

    // The catalogue in reply order, without the entries that do not map.
    plat::Published<std::vector<PricingView::Plan>> plans{this, {}};

    // The compact duration code of checkout links: whole years "y", else months "m", weeks "w",
    // else days "d" (thresholds 365, 30 and 7, inclusive).
    std::string convertDaysToReadableFormat(int64_t totalDays) const;
    // Requests the catalogue; the outcome shows as a new value of `plans` or a console line.
    void fetchPlans();

    // The web site the checkout links point into.
    static constexpr const char* webBase = "https://velmora.example";
    // One catalogue entry as a plan; none when a required key is missing or of another kind.
    std::optional<PricingView::Plan> plan(const JSON& entry, const std::string& email) const;

private:
    // Lets replies find out whether the controller still exists without keeping it alive.
    std::shared_ptr<PricingController*> self_;
};
