#include "app/controllers/PricingController.h"

#include "app/classes/Preferences.h"
#include "app/network/Client.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/URL.h"
#include "platform/log/OSLog.h"

namespace {

const std::vector<std::string>& benefits() {
    static const auto& list = *new std::vector<std::string>{
        "5 devices", "Unlimited access to all VPN servers", "24/7 Technical support", "Premium support"};
    return list;
}

// The address as a query value. Unreserved characters and "@" stay, so ordinary addresses read
// as typed, while "&", "+", "#" and the like can no longer cut or change the link.
std::string queryValue(const std::string& email) {
    static const plat::URLAllowedCharacters allowed = plat::URLAllowedCharacters::unreserved().adding("@");
    return plat::addingPercentEncoding(email, allowed).value_or("");
}

} // namespace

PricingController::PricingController() : self_(std::make_shared<PricingController*>(this)) {
    fetchPlans();
}

PricingController::~PricingController() = default;

std::string PricingController::convertDaysToReadableFormat(int64_t totalDays) const {
    if (totalDays >= 365) return std::to_string(totalDays / 365) + "y";
    if (totalDays >= 30) return std::to_string(totalDays / 30) + "m";
    if (totalDays >= 7) return std::to_string(totalDays / 7) + "w";
    return std::to_string(totalDays) + "d";
}

std::optional<PricingView::Plan> PricingController::plan(const JSON& entry, const std::string& email) const {
    auto name = entry["name"].string();
    auto totalDays = entry["total_days"].int_();
    auto isUnlimited = entry["is_unlimited"].bool_();
    auto price = entry["price"].string();
    if (!name || !totalDays || !isUnlimited || !price) return std::nullopt;

    PricingView::Plan plan;
    plan.name = *isUnlimited ? "Lifetime" : *name;
    plan.duration = *totalDays == 0 ? "Forever" : std::to_string(*totalDays) + " days";
    plan.price = *price;
    const std::string code = *isUnlimited ? "lifetime" : convertDaysToReadableFormat(*totalDays);
    plan.purchaseURL = std::string(webBase) + "/checkout?plan=" + code + "&email=" + queryValue(email);
    plan.benefits = benefits();
    return plan;
}

void PricingController::fetchPlans() {
    Client::shared().userPlans([weak = std::weak_ptr<PricingController*>(self_)](
                                   std::optional<plat::Error> error, std::optional<JSON> json) {
        auto alive = weak.lock();
        if (!alive) return;
        PricingController* controller = *alive;
        if (error) {
            plat::consoleLine("Error fetching plans: " + error->localizedDescription());
            return;
        }
        if (!json || json->type() != JSON::Type::array) return;

        const std::string email = Preferences::email().value_or("");
        std::vector<PricingView::Plan> mapped;
        for (const JSON& entry : json->arrayValue())
            if (auto plan = controller->plan(entry, email)) mapped.push_back(std::move(*plan));

        // Published on a later turn, after whatever else this reply triggers on the main queue.
        plat::mainQueue().async([weak, mapped = std::move(mapped)] {
            if (auto alive = weak.lock()) (*alive)->plans = mapped;
        });
    });
}
