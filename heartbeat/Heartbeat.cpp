#include "heartbeat/Heartbeat.h"

#include "heartbeat/CodedValue.h"

namespace heartbeat {

plat::Object Heartbeat::encode() const {
    plat::Object::Array periods;
    for (TimePeriod period : timePeriods)
        periods.emplace_back(TimePeriods::rawValue(period));
    return plat::Object::Dict{{"agent", plat::Object(agent)},
                              {"date", encodeDate(date)},
                              {"version", plat::Object(version)},
                              {"timePeriods", plat::Object(std::move(periods))}};
}

Heartbeat Heartbeat::decode(const plat::Object& coded) {
    std::string agent = CodedValue::string(CodedValue::require(coded, "agent"), "agent");
    double date = CodedValue::number(CodedValue::require(coded, "date"), "date");
    int64_t version = CodedValue::integer(CodedValue::require(coded, "version"), "version");
    std::vector<TimePeriod> periods;
    for (const plat::Object& raw :
         CodedValue::array(CodedValue::require(coded, "timePeriods"), "timePeriods"))
        periods.push_back(TimePeriods::decode(CodedValue::integer(raw, "timePeriods")));
    return Heartbeat(std::move(agent), plat::Date::fromReferenceDate(date), std::move(periods), version);
}

} // namespace heartbeat
