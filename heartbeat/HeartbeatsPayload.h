// The form in which heartbeats leave the device: one entry per agent with the days it was
// recorded, and a format version. Its header value is the JSON, gzipped, then base64url without
// padding. A plain value, safe to use from any thread.
#pragma once

#include "heartbeat/HTTPHeaderRepresentable.h"
#include "platform/object/Object.h"

#include <string>
#include <vector>

namespace heartbeat {

struct HeartbeatsPayload final : HTTPHeaderRepresentable {
    struct UserAgentPayload {
        std::string agent;
        std::vector<plat::Date> dates;
        bool operator==(const UserAgentPayload&) const = default;
    };

    std::vector<UserAgentPayload> userAgentPayloads;
    int64_t version = 2;

    HeartbeatsPayload(std::vector<UserAgentPayload> userAgentPayloads = {}, int64_t version = 2)
        : userAgentPayloads(std::move(userAgentPayloads)), version(version) {}

    // No entries, version 2.
    static const HeartbeatsPayload& emptyPayload();
    // True without entries, whatever the version.
    bool isEmpty() const { return userAgentPayloads.empty(); }
    // Never fails: an encoding failure gives the empty payload's value, a gzip failure the
    // base64url of the plain JSON.
    std::string headerValue() const override;

    // A date as its UTC calendar day, "yyyy-MM-dd".
    static std::string formatDate(plat::Date date);

    enum class DateCoding { referenceSeconds, calendarDay };
    // {"heartbeats": [{"agent", "dates"}], "version"}; dates as seconds since 2001 or as days.
    plat::Object encode(DateCoding dates = DateCoding::referenceSeconds) const;
    // Reads the seconds form; throws CodingError when a key is missing or a value has the wrong kind.
    static HeartbeatsPayload decode(const plat::Object& coded);

    bool operator==(const HeartbeatsPayload& o) const {
        return userAgentPayloads == o.userAgentPayloads && version == o.version;
    }
};

} // namespace heartbeat
