// Region records with the fields the list and the map show (country, city, flag code, place), a
// client that also records the order of its requests, and a screen test over a controller whose
// regions are loaded the way the list loads them.
#pragma once

#include "app/controllers/VelmoraController.h"
#include "tests/app/regions/ControllerTestSupport.h"
#include "tests/app/screens/ScreenTestSupport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace regionsui {

struct Place {
    int64_t id = 1;
    std::string country = "Spain";
    std::string city = "Madrid";
    std::string code = "ES";
    double latitude = 40.4;
    double longitude = -3.7;
    bool nearest = false;
    int64_t distance = 100;
};

inline std::string placeText(const Place& p) {
    return "{\"id\":" + std::to_string(p.id) +
           ",\"is_streaming\":false,\"is_free\":false,\"is_alive\":true,\"server_domain\":\"r" +
           std::to_string(p.id) + ".vpn.example\",\"city\":\"" + p.city + "\",\"country_code\":\"" + p.code +
           "\",\"is_p2p\":false,\"ip\":\"192.0.2.1\",\"load_percentage\":10,\"country_name\":\"" + p.country +
           "\",\"distance\":" + std::to_string(p.distance) +
           ",\"is_nearest\":" + (p.nearest ? "true" : "false") +
           ",\"location\":{\"latitude\":" + std::to_string(p.latitude) +
           ",\"longitude\":" + std::to_string(p.longitude) + "},\"short_name\":\"" + p.code +
           "\",\"continent\":\"Europe\"}";
}

inline std::string placesText(const std::vector<Place>& places) {
    std::string text = "[";
    for (size_t i = 0; i < places.size(); ++i)
        text += (i ? "," : "") + placeText(places[i]);
    return text + "]";
}

// Sorted by country these come out Germany, Japan, Spain, with Spain (nearest) put first as the
// optimal region: ids 3, 1, 2.
inline std::vector<Place> threePlaces() {
    return {
        {1, "Germany", "Frankfurt", "DE", 50.1, 8.7, false, 400},
        {2, "Japan", "Tokyo", "jp", 35.7, 139.7, false, 9000},
        {3, "Spain", "Madrid", "ES", 40.4, -3.7, true, 100},
    };
}

// Runs the blocks queued on the main queue now, not those they queue in turn: one main-queue turn.
inline void runOneTurn() {
    for (size_t n = plat::RunLoop::main().pendingCount(); n > 0; --n)
        plat::RunLoop::main().runOne();
}

inline const char* kPlanReply = R"({"status":"active","is_unlimited":false,"name":"Monthly"})";

// Records "regions" and "plan" in the order the controller asks.
class OrderedClient : public regiontest::CannedClient {
public:
    std::vector<std::string> calls;
    void userRegions(Completion completion) override {
        calls.push_back("regions");
        CannedClient::userRegions(std::move(completion));
    }
    void userCurrentPlan(Completion completion) override {
        calls.push_back("plan");
        CannedClient::userCurrentPlan(std::move(completion));
    }
};

class RegionsScreenTest : public screentest::ControllerScreenTest {
protected:
    // Arms one region reply (and a plan reply) for the next load.
    void arm(const std::vector<Place>& places) {
        client_.regionReplies.push_back(regiontest::CannedClient::json(placesText(places)));
        client_.planReplies.push_back(regiontest::CannedClient::json(kPlanReply));
    }
    // Loads `places` straight through the controller and runs its default pick.
    void load(const std::vector<Place>& places) {
        arm(places);
        controller_->loadRegions();
        settle();
    }
    std::vector<plat::ui::NodeRef> rows() {
        return host().findAll(plat::ui::Query::where(
            "region row", [](const plat::ui::NodeRef& n) { return n.typeName() == "VPNRegionRow"; }));
    }
    std::vector<std::string> rowTexts() {
        std::vector<std::string> out;
        for (const auto& row : rows())
            out.push_back(row.text());
        return out;
    }
};

} // namespace regionsui
