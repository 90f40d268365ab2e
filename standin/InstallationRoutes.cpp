#include "standin/InstallationRoutes.h"

#include "standin/ApiReplies.h"

#include <charconv>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <variant>

namespace standin {
namespace {

using Operation = InstallationRegistry::Operation;

constexpr const char* kPrefix = "/v1/tenants/([^/]+)/installations/";

StandinReply errorReply(int status, const std::string& message) {
    static const std::map<int, std::string> names{
        {400, "INVALID_ARGUMENT"},   {401, "UNAUTHENTICATED"}, {403, "PERMISSION_DENIED"}, {404, "NOT_FOUND"},
        {429, "RESOURCE_EXHAUSTED"}, {500, "INTERNAL"},        {503, "UNAVAILABLE"}};
    auto name = names.find(status);
    nlohmann::json body = {{"error",
                            {{"code", status},
                             {"message", message},
                             {"status", name == names.end() ? "UNKNOWN" : name->second}}}};
    return StandinReply::json(status, body.dump());
}

// The checks every request passes first; none when it may go on.
std::optional<StandinReply> refuseClient(const StandinRequest& request) {
    const std::string key = request.header("X-Tessera-Api-Key");
    if (key.size() != 39 || key.front() != 'A')
        return errorReply(403, "The API key is missing or malformed.");
    if (request.header("X-Tessera-Bundle-Identifier").empty())
        return errorReply(403, "The bundle identifier is missing.");
    return std::nullopt;
}

std::optional<nlohmann::json> jsonObject(const std::string& body) {
    nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
    if (json.is_discarded() || !json.is_object()) return std::nullopt;
    return json;
}

bool isString(const nlohmann::json& object, const char* key) {
    return object.contains(key) && object[key].is_string();
}

// The installation the request's refresh token belongs to, or the refusal.
std::variant<Installation, StandinReply> authorised(const StandinRequest& request,
                                                    InstallationRegistry& registry) {
    std::optional<Installation> installation = registry.find(request.captures.at(0), request.captures.at(1));
    if (!installation) return errorReply(404, "Installation not found.");
    if (request.header("Authorization") != "INS_v2 " + installation->refreshToken)
        return errorReply(401, "The refresh token is missing or wrong.");
    return *installation;
}

nlohmann::json authTokenJson(const std::string& token, const std::string& expiresIn) {
    return {{"token", token}, {"expiresIn", expiresIn}};
}

// Runs `serve` unless the operation has a fault armed; hands it the "expiresIn" text to send.
StandinReply withFaults(InstallationRegistry& registry, Operation operation, const StandinRequest& request,
                        const std::function<StandinReply(const std::string& expiresIn)>& serve) {
    if (auto refusal = refuseClient(request)) return *refusal;
    std::string expiresIn = std::to_string(registry.tokenLifetime()) + "s";
    if (std::optional<InstallationFault> fault = registry.takeFault(operation)) {
        switch (fault->kind) {
        case InstallationFault::Kind::Status:
            return errorReply(fault->status, "A fault armed for this operation.");
        case InstallationFault::Kind::MalformedJson:
            return StandinReply::json(200, R"({"refreshToken":"rt-cut","authToken":{"token":)");
        case InstallationFault::Kind::BadExpiry:
            expiresIn = fault->value;
            break;
        }
    }
    return serve(expiresIn);
}

} // namespace

void addInstallationRoutes(StandinRouter& router, InstallationRegistry& registry) {
    router.add("POST", kPrefix, [&registry](const StandinRequest& request) {
        return withFaults(registry, Operation::Register, request, [&](const std::string& expiresIn) {
            std::optional<nlohmann::json> body = jsonObject(request.body);
            if (!body || !isString(*body, "tid") || !isString(*body, "appId") ||
                !isString(*body, "sdkVersion") || (*body)["appId"].get<std::string>().empty() ||
                body->value("authVersion", "") != "INS_v2")
                return errorReply(400,
                                  "The request must name tid, appId, authVersion INS_v2 and sdkVersion.");
            const std::string& project = request.captures.at(0);
            Installation installation = registry.registerInstallation(
                project, (*body)["tid"].get<std::string>(), (*body)["appId"].get<std::string>());
            nlohmann::json reply = {{"name", "projects/" + project + "/installations/" + installation.tid},
                                    {"tid", installation.tid},
                                    {"refreshToken", installation.refreshToken},
                                    {"authToken", authTokenJson(installation.authTokens.back(), expiresIn)}};
            return StandinReply::json(200, reply.dump());
        });
    });

    // The identifier is one percent-encoded segment; the server sees it decoded, "/" and all.
    router.add("POST", std::string(kPrefix) + "(.+)/tokens", [&registry](const StandinRequest& request) {
        return withFaults(registry, Operation::Token, request, [&](const std::string& expiresIn) {
            auto found = authorised(request, registry);
            if (auto* refusal = std::get_if<StandinReply>(&found)) return *refusal;
            std::optional<nlohmann::json> body = jsonObject(request.body);
            if (!body || !body->contains("installation") || !(*body)["installation"].is_object() ||
                !isString((*body)["installation"], "sdkVersion"))
                return errorReply(400, "The request must carry installation.sdkVersion.");
            std::optional<std::string> token =
                registry.issueAuthToken(request.captures.at(0), request.captures.at(1));
            if (!token) return errorReply(404, "Installation not found.");
            return StandinReply::json(200, authTokenJson(*token, expiresIn).dump());
        });
    });

    router.add("DELETE", std::string(kPrefix) + "(.+)/", [&registry](const StandinRequest& request) {
        return withFaults(registry, Operation::Delete, request, [&](const std::string&) {
            auto found = authorised(request, registry);
            if (auto* refusal = std::get_if<StandinReply>(&found)) return *refusal;
            registry.remove(request.captures.at(0), request.captures.at(1));
            return StandinReply::json(200, "{}");
        });
    });
}

void addInstallationAdminRoutes(StandinRouter& router, InstallationRegistry& registry) {
    router.add("GET", "/admin/installations", [&registry](const StandinRequest&) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& installation : registry.all())
            list.push_back({{"project", installation.project},
                            {"tid", installation.tid},
                            {"appId", installation.appId},
                            {"authTokensIssued", installation.authTokens.size()}});
        return StandinReply::json(200, list.dump());
    });

    router.add("DELETE", "/admin/installations", [&registry](const StandinRequest&) {
        registry.reset();
        return messageReply(200, "Installations cleared.");
    });

    router.add("POST", "/admin/installations/fault", [&registry](const StandinRequest& request) {
        auto operation = InstallationRegistry::operationNamed(request.param("op"));
        auto fault = InstallationFault::named(request.param("kind"));
        if (!operation) return messageReply(400, "The op must be register, token or delete.");
        if (!fault) return messageReply(400, "Unknown fault kind.");
        if (fault->kind == InstallationFault::Kind::BadExpiry && !request.param("value").empty())
            fault->value = request.param("value");
        registry.setFault(*operation, *fault);
        return messageReply(200, "Fault armed.");
    });

    router.add("DELETE", "/admin/installations/faults", [&registry](const StandinRequest&) {
        registry.clearFaults();
        return messageReply(200, "Faults cleared.");
    });

    router.add("POST", "/admin/installations/token-lifetime", [&registry](const StandinRequest& request) {
        const std::string text = request.param("seconds");
        int64_t seconds = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || seconds < 0)
            return messageReply(400, "The seconds parameter must be a non-negative integer.");
        registry.setTokenLifetime(seconds);
        return messageReply(200, "Token lifetime set.");
    });

    router.add("POST", "/admin/installations/next-tid", [&registry](const StandinRequest& request) {
        if (request.param("value").empty()) return messageReply(400, "The value parameter is required.");
        registry.setNextTID(request.param("value"));
        return messageReply(200, "Next tid set.");
    });
}

} // namespace standin
