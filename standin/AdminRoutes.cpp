// Administration for tests and demos, under "/admin/": expire a token, arm and clear faults, read
// and clear the request log, read a pending reset code and the demo account. These requests are
// not logged and never faulted.
#include "standin/ApiReplies.h"
#include "standin/StandinRoutes.h"

#include <charconv>
#include <nlohmann/json.hpp>

namespace standin {
namespace {

std::string dumpLenient(const nlohmann::json& value) {
    // Request bodies are arbitrary bytes; invalid UTF-8 is replaced rather than refused.
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json entryJson(const RequestLogEntry& entry) {
    nlohmann::json headers = nlohmann::json::array();
    for (const auto& [name, value] : entry.headers)
        headers.push_back({{"name", name}, {"value", value}});
    return {{"method", entry.method}, {"path", entry.path}, {"query", entry.query},
            {"headers", headers},     {"body", entry.body}, {"body_size", entry.body.size()}};
}

void addFaultRoutes(StandinRouter& router, FaultTable& faults) {
    router.add("POST", "/admin/fault", [&faults](const StandinRequest& request) {
        const std::string path = request.param("path");
        auto kind = Fault::kindNamed(request.param("kind"));
        if (path.empty()) return messageReply(400, "The path parameter is required.");
        if (!kind) return messageReply(400, "The kind must be empty, nonjson, notfound-json or delay.");
        Fault fault{*kind, kDefaultFaultDelay};
        if (const std::string ms = request.param("ms"); !ms.empty()) {
            long long value = 0;
            auto [end, error] = std::from_chars(ms.data(), ms.data() + ms.size(), value);
            if (error != std::errc() || end != ms.data() + ms.size() || value < 0)
                return messageReply(400, "The ms parameter must be a non-negative integer.");
            fault.delay = std::chrono::milliseconds(value);
        }
        faults.set(path, fault);
        nlohmann::json body = {{"path", FaultTable::normalise(path)},
                               {"kind", request.param("kind")},
                               {"ms", fault.delay.count()}};
        return StandinReply::json(200, body.dump());
    });

    router.add("DELETE", "/admin/fault", [&faults](const StandinRequest& request) {
        if (request.param("path").empty()) return messageReply(400, "The path parameter is required.");
        faults.remove(request.param("path"));
        return messageReply(200, "Fault cleared.");
    });

    router.add("DELETE", "/admin/faults", [&faults](const StandinRequest&) {
        faults.clear();
        return messageReply(200, "Faults cleared.");
    });
}

void addLogRoutes(StandinRouter& router, RequestLog& log) {
    router.add("GET", "/admin/requests", [&log](const StandinRequest&) {
        nlohmann::json body = nlohmann::json::array();
        for (const auto& entry : log.entries())
            body.push_back(entryJson(entry));
        return StandinReply::json(200, dumpLenient(body));
    });

    router.add("DELETE", "/admin/requests", [&log](const StandinRequest&) {
        log.clear();
        return messageReply(200, "Request log cleared.");
    });
}

} // namespace

void addAdminRoutes(StandinRouter& router, AccountStore& accounts, FaultTable& faults, RequestLog& log) {
    router.add("POST", "/admin/expire-token", [&accounts](const StandinRequest& request) {
        if (request.param("token").empty()) return messageReply(400, "The token parameter is required.");
        if (!accounts.expireToken(request.param("token"))) return messageReply(404, "Unknown token.");
        return messageReply(200, "Token expired.");
    });

    router.add("GET", "/admin/reset-code", [&accounts](const StandinRequest& request) {
        auto code = accounts.resetCode(request.param("email"));
        if (!code) return messageReply(404, "No reset pending for this address.");
        return StandinReply::json(200, nlohmann::json{{"code", *code}}.dump());
    });

    router.add("GET", "/admin/demo-account", [](const StandinRequest&) {
        nlohmann::json body = {{"email", AccountStore::kDemoEmail},
                               {"password", AccountStore::kDemoPassword}};
        return StandinReply::json(200, body.dump());
    });

    addFaultRoutes(router, faults);
    addLogRoutes(router, log);
}

} // namespace standin
