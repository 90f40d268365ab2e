#include "standin/CrashSettingsRoutes.h"

#include "standin/ApiReplies.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace standin {

void addCrashSettingsRoutes(StandinRouter& router, CrashSettingsService& settings) {
    router.add(
        "GET", "/settings/v1/platforms/mac/apps/([^/]+)/settings",
        [&settings](const StandinRequest& request) {
            settings.recordRequest(
                RequestLogEntry{request.method, request.path, request.query, request.headers, request.body});
            if (int64_t delay = settings.delayMillis(); delay > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            std::optional<CrashSettingsFault> fault = settings.fault();
            if (!fault) return StandinReply::json(200, settings.document());
            switch (*fault) {
            case CrashSettingsFault::ServerError:
                return StandinReply::json(500, R"({"error": "x"})");
            case CrashSettingsFault::NonJson:
                return StandinReply{200, "text/html", "<html><body>Settings unavailable</body></html>\n"};
            case CrashSettingsFault::NotFound:
                return StandinReply::json(404, R"({"error": "not found"})");
            }
            return StandinReply::json(200, settings.document());
        });
}

void addCrashSettingsAdminRoutes(StandinRouter& router, CrashSettingsService& settings) {
    router.add("GET", "/admin/crash-settings", [&settings](const StandinRequest&) {
        std::optional<CrashSettingsFault> fault = settings.fault();
        nlohmann::json reply = {
            {"document", nlohmann::json::parse(settings.document())},
            {"fault", fault ? nlohmann::json(CrashSettingsService::faultName(*fault)) : nullptr},
            {"delay_ms", settings.delayMillis()}};
        return StandinReply::json(200, reply.dump());
    });

    router.add("PUT", "/admin/crash-settings/document", [&settings](const StandinRequest& request) {
        if (!settings.setDocument(request.body))
            return messageReply(400, "The document must be a JSON object.");
        return messageReply(200, "Crash settings document set.");
    });

    router.add("POST", "/admin/crash-settings/fault", [&settings](const StandinRequest& request) {
        std::optional<CrashSettingsFault> fault = CrashSettingsService::faultNamed(request.param("kind"));
        if (!fault) return messageReply(400, "The kind must be 500, nonjson or 404.");
        settings.setFault(fault);
        return messageReply(200, "Crash settings fault armed.");
    });

    router.add("DELETE", "/admin/crash-settings/faults", [&settings](const StandinRequest&) {
        settings.setFault(std::nullopt);
        return messageReply(200, "Crash settings faults cleared.");
    });

    router.add("POST", "/admin/crash-settings/delay", [&settings](const StandinRequest& request) {
        std::string text = request.param("ms");
        char* end = nullptr;
        long long millis = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || millis < 0 || millis > 600000)
            return messageReply(400, "The delay must be a number of milliseconds from 0 to 600000.");
        settings.setDelayMillis(millis);
        return messageReply(200, "Crash settings delay set.");
    });

    router.add("GET", "/admin/crash-settings/requests",
               [&settings](const StandinRequest&) { return requestListReply(settings.requests()); });

    router.add("DELETE", "/admin/crash-settings", [&settings](const StandinRequest&) {
        settings.reset();
        return messageReply(200, "Crash settings reset.");
    });
}

} // namespace standin
