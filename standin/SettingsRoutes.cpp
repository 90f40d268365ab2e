#include "standin/SettingsRoutes.h"

#include "standin/ApiReplies.h"

#include <nlohmann/json.hpp>

namespace standin {

void addSettingsRoutes(StandinRouter& router, SettingsService& settings) {
    router.add(
        "GET", "/settings/v1/platforms/([^/]+)/apps/([^/]+)/settings",
        [&settings](const StandinRequest& request) {
            settings.recordRequest(
                RequestLogEntry{request.method, request.path, request.query, request.headers, request.body});
            std::optional<SettingsFault> fault = settings.fault();
            if (!fault) return StandinReply::json(200, settings.document());
            switch (*fault) {
            case SettingsFault::ServerError:
                return StandinReply::json(500, R"({"error": "x"})");
            case SettingsFault::NonJson:
                return StandinReply{200, "text/html", "<html><body>Settings unavailable</body></html>\n"};
            case SettingsFault::Nulls:
                return StandinReply::json(200, SettingsService::nullsDocument());
            case SettingsFault::WrongTypes:
                return StandinReply::json(200, SettingsService::wrongTypesDocument());
            }
            return StandinReply::json(200, settings.document());
        });
}

void addSettingsAdminRoutes(StandinRouter& router, SettingsService& settings) {
    router.add("GET", "/admin/settings", [&settings](const StandinRequest&) {
        std::optional<SettingsFault> fault = settings.fault();
        nlohmann::json reply = {
            {"document", nlohmann::json::parse(settings.document())},
            {"fault", fault ? nlohmann::json(SettingsService::faultName(*fault)) : nullptr}};
        return StandinReply::json(200, reply.dump());
    });

    router.add("POST", "/admin/settings/document", [&settings](const StandinRequest& request) {
        if (!settings.setDocument(request.body))
            return messageReply(400, "The document must be a JSON object.");
        return messageReply(200, "Settings document set.");
    });

    router.add("POST", "/admin/settings/fault", [&settings](const StandinRequest& request) {
        std::optional<SettingsFault> fault = SettingsService::faultNamed(request.param("kind"));
        if (!fault) return messageReply(400, "The kind must be 500, nonjson, nulls or wrong-types.");
        settings.setFault(fault);
        return messageReply(200, "Settings fault armed.");
    });

    router.add("DELETE", "/admin/settings/faults", [&settings](const StandinRequest&) {
        settings.setFault(std::nullopt);
        return messageReply(200, "Settings faults cleared.");
    });

    router.add("GET", "/admin/settings/requests",
               [&settings](const StandinRequest&) { return requestListReply(settings.requests()); });

    router.add("DELETE", "/admin/settings", [&settings](const StandinRequest&) {
        settings.reset();
        return messageReply(200, "Settings reset.");
    });
}

} // namespace standin
