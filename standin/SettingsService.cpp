#include "standin/SettingsService.h"

#include <nlohmann/json.hpp>

namespace standin {

std::string SettingsService::defaultDocument() {
    return R"({"app_health":{"sessions_enabled":true,"sampling_rate":1.0,"session_timeout_seconds":1800},)"
           R"("cache_duration":3600})";
}

std::string SettingsService::nullsDocument() {
    return R"({"app_health":{"sessions_enabled":null,"sampling_rate":null,"session_timeout_seconds":null,)"
           R"("limits":[1,null,{"inner":null}]},"cache_duration":null,"notice":null})";
}

std::string SettingsService::wrongTypesDocument() {
    return R"({"app_health":{"sessions_enabled":"false","sampling_rate":"0.5","session_timeout_seconds":[60]},)"
           R"("cache_duration":"86400","extra":{"app_health":[]}})";
}

std::optional<SettingsFault> SettingsService::faultNamed(const std::string& name) {
    if (name == "500") return SettingsFault::ServerError;
    if (name == "nonjson") return SettingsFault::NonJson;
    if (name == "nulls") return SettingsFault::Nulls;
    if (name == "wrong-types") return SettingsFault::WrongTypes;
    return std::nullopt;
}

std::string SettingsService::faultName(SettingsFault fault) {
    switch (fault) {
    case SettingsFault::ServerError:
        return "500";
    case SettingsFault::NonJson:
        return "nonjson";
    case SettingsFault::Nulls:
        return "nulls";
    case SettingsFault::WrongTypes:
        return "wrong-types";
    }
    return "";
}

SettingsService::SettingsService() : document_(defaultDocument()) {}

std::string SettingsService::document() const {
    std::lock_guard guard(mutex_);
    return document_;
}

bool SettingsService::setDocument(const std::string& json) {
    nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) return false;
    std::lock_guard guard(mutex_);
    document_ = json;
    return true;
}

std::optional<SettingsFault> SettingsService::fault() const {
    std::lock_guard guard(mutex_);
    return fault_;
}

void SettingsService::setFault(std::optional<SettingsFault> fault) {
    std::lock_guard guard(mutex_);
    fault_ = fault;
}

void SettingsService::recordRequest(RequestLogEntry entry) {
    std::lock_guard guard(mutex_);
    requests_.push_back(std::move(entry));
}

std::vector<RequestLogEntry> SettingsService::requests() const {
    std::lock_guard guard(mutex_);
    return requests_;
}

void SettingsService::reset() {
    std::lock_guard guard(mutex_);
    document_ = defaultDocument();
    fault_.reset();
    requests_.clear();
}

} // namespace standin
