// The stand-in's crash settings service: the settings document the crash reporter fetches for its
// app id (configurable: "collect_reports", the session limits and "cache_duration" among any other
// keys), a fault for its replies, a delay before each reply, and the requests received. Kept in
// memory; thread-safe, every read returns a copy.
#pragma once

#include "standin/RequestLog.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// What the crash settings endpoint answers instead of the document.
enum class CrashSettingsFault {
    ServerError, // 500 with {"error": "x"}
    NonJson,     // 200 with an HTML body and content type
    NotFound,    // 404, as for an app the service does not know
};

class CrashSettingsService {
public:
    // Reports collected, the default session limits, cached for an hour.
    static std::string defaultDocument();
    // "500", "nonjson" or "404".
    static std::optional<CrashSettingsFault> faultNamed(const std::string& name);
    static std::string faultName(CrashSettingsFault fault);

    CrashSettingsService();

    std::string document() const;
    // False (and nothing changes) when `json` is not a JSON object.
    bool setDocument(const std::string& json);
    std::optional<CrashSettingsFault> fault() const;
    // Stays armed until cleared.
    void setFault(std::optional<CrashSettingsFault> fault);
    // How long each reply waits before it is sent (0: none).
    int64_t delayMillis() const;
    void setDelayMillis(int64_t millis);

    void recordRequest(RequestLogEntry entry);
    std::vector<RequestLogEntry> requests() const;

    // The default document, no fault, no delay, no requests.
    void reset();

private:
    mutable std::mutex mutex_;
    std::string document_;
    std::optional<CrashSettingsFault> fault_;
    int64_t delayMillis_ = 0;
    std::vector<RequestLogEntry> requests_;
};

} // namespace standin
