#include "heartbeat/HeartbeatsPayload.h"

#include "heartbeat/CodedValue.h"
#include "heartbeat/HeaderDataCoding.h"
#include "heartbeat/Heartbeat.h"
#include "platform/foundation/JSONSerialization.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace heartbeat {
namespace {

// Days since 1970-01-01 to a proleptic Gregorian date (the civil-from-days algorithm).
void civilFromDays(int64_t z, int64_t& year, unsigned& month, unsigned& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

} // namespace

const HeartbeatsPayload& HeartbeatsPayload::emptyPayload() {
    static const auto* empty = new HeartbeatsPayload();
    return *empty;
}

std::string HeartbeatsPayload::formatDate(plat::Date date) {
    double seconds = date.secondsSince1970;
    // Beyond about ±2.7 million years the day number would not fit; such dates never come from a
    // clock, so they are pinned to the ends of that range rather than overflowing.
    constexpr double kLimit = 8.64e16;
    if (!std::isfinite(seconds)) seconds = 0;
    seconds = std::clamp(seconds, -kLimit, kLimit);
    int64_t days = static_cast<int64_t>(std::floor(seconds / 86400.0));
    int64_t year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(year), month, day);
    return text;
}

plat::Object HeartbeatsPayload::encode(DateCoding dateCoding) const {
    plat::Object::Array entries;
    for (const UserAgentPayload& entry : userAgentPayloads) {
        plat::Object::Array dates;
        for (plat::Date date : entry.dates)
            dates.push_back(dateCoding == DateCoding::calendarDay ? plat::Object(formatDate(date))
                                                                  : encodeDate(date));
        entries.emplace_back(plat::Object::Dict{{"agent", plat::Object(entry.agent)},
                                                {"dates", plat::Object(std::move(dates))}});
    }
    return plat::Object::Dict{{"heartbeats", plat::Object(std::move(entries))},
                              {"version", plat::Object(version)}};
}

HeartbeatsPayload HeartbeatsPayload::decode(const plat::Object& coded) {
    std::vector<UserAgentPayload> entries;
    for (const plat::Object& entry :
         CodedValue::array(CodedValue::require(coded, "heartbeats"), "heartbeats")) {
        UserAgentPayload payload;
        payload.agent = CodedValue::string(CodedValue::require(entry, "agent"), "agent");
        for (const plat::Object& date : CodedValue::array(CodedValue::require(entry, "dates"), "dates"))
            payload.dates.push_back(plat::Date::fromReferenceDate(CodedValue::number(date, "dates")));
        entries.push_back(std::move(payload));
    }
    int64_t version = CodedValue::integer(CodedValue::require(coded, "version"), "version");
    return HeartbeatsPayload(std::move(entries), version);
}

std::string HeartbeatsPayload::headerValue() const {
    auto json = plat::JSONSerialization::data(encode(DateCoding::calendarDay));
    if (!json) return this == &emptyPayload() ? std::string() : emptyPayload().headerValue();
    plat::Data bytes = plat::toData(*json);
    if (auto compressed = zipped(bytes)) bytes = std::move(*compressed);
    return base64URLEncodedString(bytes);
}

} // namespace heartbeat
