// The account's registered devices: list and removal.
#include "standin/ApiReplies.h"
#include "standin/BearerAuth.h"
#include "standin/StandinRoutes.h"

#include <charconv>
#include <nlohmann/json.hpp>

namespace standin {

void addDeviceRoutes(StandinRouter& router, AccountStore& accounts) {
    router.add("GET", "/api/devices", authorised(accounts, [&accounts](const Account& account) {
                   nlohmann::json body = nlohmann::json::array();
                   for (const auto& device : accounts.devices(account.id))
                       body.push_back({{"id", device.id},
                                       {"device_name", device.name},
                                       {"os", device.os},
                                       {"platform", device.platform},
                                       {"last_login_at", device.lastLoginAt.empty()
                                                             ? nlohmann::json()
                                                             : nlohmann::json(device.lastLoginAt)}});
                   return StandinReply::json(200, body.dump());
               }));

    router.add("DELETE", "/api/devices/(.*)",
               authorised(accounts, [&accounts](const Account& account, const StandinRequest& request) {
                   const std::string& text = request.captures.at(0);
                   int64_t id = 0;
                   auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
                   bool numeric = error == std::errc() && end == text.data() + text.size();
                   if (!numeric || !accounts.removeDevice(account.id, id))
                       return messageReply(404, "Device not found.");
                   return messageReply(200, "Device removed.");
               }));
}

} // namespace standin
