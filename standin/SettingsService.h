// The stand-in's session settings service state: the document it serves (JSON text, configurable),
// the fault armed for its replies, and the settings requests it received. Kept in memory;
// thread-safe, every read returns a copy.
#pragma once

#include "standin/RequestLog.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// What the settings endpoint answers instead of the document.
enum class SettingsFault {
    ServerError, // 500 with the JSON object {"error": "x"}
    NonJson,     // 200 with an HTML body
    Nulls,       // 200 with a document whose settings and cache duration are JSON nulls
    WrongTypes,  // 200 with a document whose settings are text, arrays and an "app_health" list
};

class SettingsService {
public:
    // The document served until another is set: sessions on, every session sampled, a 30-minute
    // session timeout, cached for an hour.
    static std::string defaultDocument();
    // The fault for its admin name: "500", "nonjson", "nulls" or "wrong-types".
    static std::optional<SettingsFault> faultNamed(const std::string& name);
    static std::string faultName(SettingsFault fault);
    // The bodies of the two faulty documents.
    static std::string nullsDocument();
    static std::string wrongTypesDocument();

    SettingsService();

    std::string document() const;
    // False (and nothing changes) when `json` is not a JSON object.
    bool setDocument(const std::string& json);
    std::optional<SettingsFault> fault() const;
    // Stays armed until cleared.
    void setFault(std::optional<SettingsFault> fault);

    void recordRequest(RequestLogEntry entry);
    std::vector<RequestLogEntry> requests() const;

    // The default document, no fault, no requests.
    void reset();

private:
    mutable std::mutex mutex_;
    std::string document_;
    std::optional<SettingsFault> fault_;
    std::vector<RequestLogEntry> requests_;
};

} // namespace standin
