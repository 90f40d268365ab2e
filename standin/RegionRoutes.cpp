// The region list, the best regions and the tunnel configuration per region.
#include "standin/ApiReplies.h"
#include "standin/BearerAuth.h"
#include "standin/RegionFixture.h"
#include "standin/StandinRoutes.h"

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>

namespace standin {
namespace {

nlohmann::json regionJson(const FixtureRegion& region) {
    return {
        {"id", region.id},
        {"is_streaming", region.isStreaming},
        {"is_free", region.isFree},
        {"is_alive", region.isAlive},
        {"is_p2p", region.isP2p},
        {"is_nearest", region.isNearest},
        {"server_domain", region.serverDomain},
        {"city", region.city},
        {"country_code", region.countryCode},
        {"country_name", region.countryName},
        {"region_name", region.countryName + " - " + region.city},
        {"ip", region.ip},
        {"short_name", region.shortName},
        {"continent", region.continent},
        {"load_percentage", region.loadPercentage},
        {"distance", region.distance ? nlohmann::json(*region.distance) : nlohmann::json()},
        {"location", {{"latitude", region.latitude}, {"longitude", region.longitude}}},
    };
}

// The region a configuration request names: its id, or the best region for "0" (no region chosen
// yet). Nothing for text that is not a known id.
const FixtureRegion* regionNamed(const std::string& text) {
    int64_t id = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error != std::errc() || end != text.data() + text.size()) return nullptr;
    if (id == 0) return &RegionFixture::best();
    return RegionFixture::find(id);
}

} // namespace

void addRegionRoutes(StandinRouter& router, AccountStore& accounts) {
    router.add("GET", "/api/users/me/regions", authorised(accounts, [](const Account&) {
                   nlohmann::json body = nlohmann::json::array();
                   for (const auto& region : RegionFixture::regions())
                       body.push_back(regionJson(region));
                   return StandinReply::json(200, body.dump());
               }));

    // Answered without a token, like the service does.
    router.add("GET", "/api/users/me/regions/best", [](const StandinRequest&) {
        std::vector<const FixtureRegion*> nearest;
        for (const auto& region : RegionFixture::regions())
            if (region.isNearest) nearest.push_back(&region);
        std::stable_sort(nearest.begin(), nearest.end(), [](const FixtureRegion* a, const FixtureRegion* b) {
            return *a->distance + a->loadPercentage < *b->distance + b->loadPercentage;
        });
        nlohmann::json body = nlohmann::json::array();
        for (const auto* region : nearest)
            body.push_back(regionJson(*region));
        return StandinReply::json(200, body.dump());
    });

    router.add("GET", "/api/config/ipsec/(.*)",
               authorised(accounts, [](const Account& account, const StandinRequest& request) {
                   const FixtureRegion* region = regionNamed(request.captures.at(0));
                   if (!region) return messageReply(404, "Region not found.");
                   nlohmann::json body = {{"radius_login", account.radiusLogin},
                                          {"radius_password", account.radiusPassword},
                                          {"server_domain", region->serverDomain},
                                          {"region_id", region->id}};
                   return StandinReply::json(200, body.dump());
               }));

    router.add("GET", "/api/config/openvpn/(.*)",
               authorised(accounts, [](const Account& account, const StandinRequest& request) {
                   const FixtureRegion* region = regionNamed(request.captures.at(0));
                   if (!region) return messageReply(404, "Region not found.");
                   auto pem = [](const char* label) {
                       return std::string("-----BEGIN ") + label + "-----\nc3RhbmQtaW4=\n-----END " + label +
                              "-----\n";
                   };
                   nlohmann::json body = {{"server_domain", region->serverDomain},
                                          {"port", 1194},
                                          {"radius_login", account.radiusLogin},
                                          {"radius_password", account.radiusPassword},
                                          {"ca", pem("CERTIFICATE")},
                                          {"cert", pem("CERTIFICATE")},
                                          {"key", pem("PRIVATE KEY")}};
                   return StandinReply::json(200, body.dump());
               }));
}

} // namespace standin
