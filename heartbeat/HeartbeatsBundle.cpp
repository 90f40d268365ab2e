#include "heartbeat/HeartbeatsBundle.h"

#include "heartbeat/CodedValue.h"

#include <algorithm>

namespace heartbeat {

plat::Date HeartbeatsBundle::distantPast() {
    return plat::Date::fromReferenceDate(-63114076800.0);
}

HeartbeatsBundle::DateCache HeartbeatsBundle::defaultCache() {
    DateCache cache;
    for (TimePeriod period : TimePeriods::allCases)
        cache[period] = distantPast();
    return cache;
}

void HeartbeatsBundle::append(const Heartbeat& heartbeat) {
    if (capacity < 1) return;
    try {
        if (auto overwritten = buffer.push(heartbeat)) {
            for (auto& [period, date] : lastAddedHeartbeatDates)
                if (date == overwritten->date) date = distantPast();
        }
        for (TimePeriod period : heartbeat.timePeriods)
            lastAddedHeartbeatDates[period] = heartbeat.date;
    } catch (const RingBuffer<Heartbeat>::Error& error) {
        // A stored ring that cannot take a push is damaged: start over and record why.
        *this = HeartbeatsBundle(capacity);
        std::string description = error.errorDescription();
        std::replace(description.begin(), description.end(), ' ', '-');
        Heartbeat diagnostic(heartbeat.agent + " error/" + description, heartbeat.date, heartbeat.timePeriods,
                             0);
        try {
            buffer.push(diagnostic);
            for (TimePeriod period : diagnostic.timePeriods)
                lastAddedHeartbeatDates[period] = diagnostic.date;
        } catch (const RingBuffer<Heartbeat>::Error&) {
        }
    }
}

std::optional<Heartbeat> HeartbeatsBundle::removeHeartbeat(plat::Date date) {
    std::optional<Heartbeat> removed;
    std::vector<Heartbeat> setAside;
    while (auto popped = buffer.pop()) {
        if (popped->date == date) {
            removed = std::move(popped);
            break;
        }
        setAside.push_back(std::move(*popped));
    }
    for (auto it = setAside.rbegin(); it != setAside.rend(); ++it) {
        try {
            buffer.push(*it);
        } catch (const RingBuffer<Heartbeat>::Error&) {
        }
    }
    return removed;
}

HeartbeatsPayload HeartbeatsBundle::makeHeartbeatsPayload() const {
    std::map<std::string, std::vector<plat::Date>> byAgent; // byte order, which is scalar order for UTF-8
    for (const Heartbeat& heartbeat : buffer.elements())
        byAgent[heartbeat.agent].push_back(heartbeat.date);
    std::vector<HeartbeatsPayload::UserAgentPayload> entries;
    for (auto& [agent, dates] : byAgent)
        entries.push_back({agent, std::move(dates)});
    return HeartbeatsPayload(std::move(entries), 2);
}

plat::Object HeartbeatsBundle::encode() const {
    plat::Object::Array dates;
    for (const auto& [period, date] : lastAddedHeartbeatDates) {
        dates.emplace_back(TimePeriods::rawValue(period));
        dates.push_back(encodeDate(date));
    }
    return plat::Object::Dict{{"capacity", plat::Object(capacity)},
                              {"lastAddedHeartbeatDates", plat::Object(std::move(dates))},
                              {"buffer", buffer.encode()}};
}

HeartbeatsBundle HeartbeatsBundle::decode(const plat::Object& coded) {
    int64_t capacity = CodedValue::integer(CodedValue::require(coded, "capacity"), "capacity");
    if (capacity > kMaxStoredCapacity)
        throw CodingError(CodingError::Kind::dataCorrupted,
                          "Capacity " + std::to_string(capacity) + " is too large.");
    const auto& flat =
        CodedValue::array(CodedValue::require(coded, "lastAddedHeartbeatDates"), "lastAddedHeartbeatDates");
    if (flat.size() % 2 != 0)
        throw CodingError(CodingError::Kind::dataCorrupted,
                          "Expected an even number of elements in lastAddedHeartbeatDates.");
    DateCache cache;
    for (size_t i = 0; i < flat.size(); i += 2) {
        TimePeriod period = TimePeriods::decode(CodedValue::integer(flat[i], "lastAddedHeartbeatDates"));
        cache[period] =
            plat::Date::fromReferenceDate(CodedValue::number(flat[i + 1], "lastAddedHeartbeatDates"));
    }
    auto buffer = RingBuffer<Heartbeat>::decode(CodedValue::require(coded, "buffer"));
    return HeartbeatsBundle(capacity, std::move(cache), std::move(buffer));
}

} // namespace heartbeat
