// The signed-in user's account, address, current plan and the plan catalogue.
#include "standin/ApiReplies.h"
#include "standin/BearerAuth.h"
#include "standin/StandinRoutes.h"

#include <nlohmann/json.hpp>

namespace standin {
namespace {

struct CatalogueEntry {
    int64_t id;
    const char* name;
    int64_t totalDays;
    bool unlimited;
    const char* price;
};

constexpr CatalogueEntry kCatalogue[] = {
    {1, "Monthly", 30, false, "9.99"},
    {2, "Half-Year", 180, false, "44.99"},
    {3, "Yearly", 365, false, "59.99"},
    {4, "Lifetime", 0, true, "199.00"},
};

} // namespace

void addUserRoutes(StandinRouter& router, AccountStore& accounts) {
    router.add("GET", "/api/users/me", authorised(accounts, [](const Account& account) {
                   nlohmann::json body = {
                       {"id", account.id},
                       {"email", account.email.empty() ? nlohmann::json() : nlohmann::json(account.email)},
                       {"uid", account.uid},
                       {"created_at", account.createdAt}};
                   return StandinReply::json(200, body.dump());
               }));

    router.add("GET", "/api/users/me/ip", authorised(accounts, [](const Account&) {
                   nlohmann::json body = {{"ip", "203.0.113.200"},
                                          {"country_code", "DE"},
                                          {"country_name", "Germany"},
                                          {"city", "Cologne"}};
                   return StandinReply::json(200, body.dump());
               }));

    router.add("GET", "/api/users/me/plan", authorised(accounts, [](const Account& account) {
                   const Plan& plan = account.plan;
                   nlohmann::json body = {{"status", plan.status},
                                          {"name", plan.name},
                                          {"is_unlimited", plan.unlimited},
                                          {"total_days", plan.totalDays},
                                          {"expires_at", plan.expiresAt}};
                   return StandinReply::json(200, body.dump());
               }));

    router.add("GET", "/api/users/me/delete", authorised(accounts, [&accounts](const Account& account) {
                   accounts.removeAccount(account.id);
                   return messageReply(200, "Your account has been deleted.");
               }));

    router.add("GET", "/api/vpn/plans", authorised(accounts, [](const Account&) {
                   nlohmann::json body = nlohmann::json::array();
                   for (const auto& entry : kCatalogue)
                       body.push_back({{"id", entry.id},
                                       {"name", entry.name},
                                       {"total_days", entry.totalDays},
                                       {"is_unlimited", entry.unlimited},
                                       {"price", entry.price},
                                       {"currency", "USD"}});
                   return StandinReply::json(200, body.dump());
               }));
}

} // namespace standin
