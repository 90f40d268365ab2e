// The pricing screen. For now only its plan record, which the plan catalogue controller fills.
#pragma once

#include <string>
#include <utility>
#include <vector>

class PricingView {
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
};
