#include "standin/CrashSettingsService.h"

#include <nlohmann/json.hpp>

namespace standin {

std::string CrashSettingsService::defaultDocument() {
    return R"({"settings_version":3,"cache_duration":3600,)"
           R"("features":{"collect_reports":true,"collect_logged_exceptions":true,"collect_metric_kit":false},)"
           R"("session":{"log_buffer_size":64000,"max_custom_exception_events":8,"max_custom_key_value_pairs":64},)"
           R"("on_demand_upload_rate_per_minute":10,"on_demand_backoff_base":1.5,)"
           R"("on_demand_backoff_step_duration_seconds":6,"app":{},"legacy":{}})";
}

std::optional<CrashSettingsFault> CrashSettingsService::faultNamed(const std::string& name) {
    if (name == "500") return CrashSettingsFault::ServerError;
    if (name == "nonjson") return CrashSettingsFault::NonJson;
    if (name == "404") return CrashSettingsFault::NotFound;
    return std::nullopt;
}

std::string CrashSettingsService::faultName(CrashSettingsFault fault) {
    switch (fault) {
    case CrashSettingsFault::ServerError:
        return "500";
    case CrashSettingsFault::NonJson:
        return "nonjson";
    case CrashSettingsFault::NotFound:
        return "404";
    }
    return "";
}

CrashSettingsService::CrashSettingsService() : document_(defaultDocument()) {}

std::string CrashSettingsService::document() const {
    std::lock_guard guard(mutex_);
    return document_;
}

bool CrashSettingsService::setDocument(const std::string& json) {
    nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) return false;
    std::lock_guard guard(mutex_);
    document_ = json;
    return true;
}

std::optional<CrashSettingsFault> CrashSettingsService::fault() const {
    std::lock_guard guard(mutex_);
    return fault_;
}

void CrashSettingsService::setFault(std::optional<CrashSettingsFault> fault) {
    std::lock_guard guard(mutex_);
    fault_ = fault;
}

int64_t CrashSettingsService::delayMillis() const {
    std::lock_guard guard(mutex_);
    return delayMillis_;
}

void CrashSettingsService::setDelayMillis(int64_t millis) {
    std::lock_guard guard(mutex_);
    delayMillis_ = millis < 0 ? 0 : millis;
}

void CrashSettingsService::recordRequest(RequestLogEntry entry) {
    std::lock_guard guard(mutex_);
    requests_.push_back(std::move(entry));
}

std::vector<RequestLogEntry> CrashSettingsService::requests() const {
    std::lock_guard guard(mutex_);
    return requests_;
}

void CrashSettingsService::reset() {
    std::lock_guard guard(mutex_);
    document_ = defaultDocument();
    fault_.reset();
    delayMillis_ = 0;
    requests_.clear();
}

} // namespace standin
