#include "transport/TTRLogSourceMetrics.h"

#include "platform/foundation/KeyedUnarchiver.h"

#include <charconv>
#include <climits>

namespace {

constexpr const char* kCountsKey = "droppedEventCounterByLogSource";

int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

std::optional<int64_t> parseReason(const std::string& text) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

} // namespace

std::shared_ptr<const TTRLogSourceMetrics> TTRLogSourceMetrics::metrics() {
    return std::make_shared<const TTRLogSourceMetrics>(Counts());
}

std::shared_ptr<const TTRLogSourceMetrics> TTRLogSourceMetrics::metricsWithEvents(const TTREvents& events,
                                                                                  int64_t reason) {
    Counts counts;
    for (const std::shared_ptr<TTREvent>& event : events) {
        if (!event || event->mappingID().empty()) continue;
        int64_t& count = counts[event->mappingID()][reason];
        count = saturatingAdd(count, 1);
    }
    return std::make_shared<const TTRLogSourceMetrics>(std::move(counts));
}

std::shared_ptr<const TTRLogSourceMetrics>
TTRLogSourceMetrics::logSourceMetricsByMergingWithLogSourceMetrics(const TTRLogSourceMetrics& other) const {
    Counts merged = dictionaryByMergingDictionary<Counts>(
        droppedEventCounterByLogSource_, other.droppedEventCounterByLogSource_,
        [](const ReasonCounts& existing, const ReasonCounts& added) {
            return dictionaryByMergingDictionary<ReasonCounts>(existing, added, saturatingAdd);
        });
    return std::make_shared<const TTRLogSourceMetrics>(std::move(merged));
}

size_t TTRLogSourceMetrics::hash() const {
    size_t hash = droppedEventCounterByLogSource_.size();
    for (const auto& [source, reasons] : droppedEventCounterByLogSource_) {
        hash ^= std::hash<std::string>()(source);
        for (const auto& [reason, count] : reasons)
            hash ^= std::hash<int64_t>()(reason * 31 + count);
    }
    return hash;
}

std::string TTRLogSourceMetrics::description() const {
    std::string text = "<TTRLogSourceMetrics> {";
    bool firstSource = true;
    for (const auto& [source, reasons] : droppedEventCounterByLogSource_) {
        text += (firstSource ? " " : ", ") + source + ": {";
        firstSource = false;
        bool firstReason = true;
        for (const auto& [reason, count] : reasons) {
            text += (firstReason ? "" : ", ") + std::to_string(reason) + ": " + std::to_string(count);
            firstReason = false;
        }
        text += "}";
    }
    return text + " }";
}

void TTRLogSourceMetrics::encodeWithCoder(plat::KeyedArchiver& coder) const {
    plat::Object::Dict sources;
    for (const auto& [source, reasons] : droppedEventCounterByLogSource_) {
        plat::Object::Dict counts;
        for (const auto& [reason, count] : reasons)
            counts[std::to_string(reason)] = plat::Object(count);
        sources[source] = plat::Object(std::move(counts));
    }
    coder.encodeObject(plat::Object(std::move(sources)), kCountsKey);
}

std::shared_ptr<TTRLogSourceMetrics> TTRLogSourceMetrics::initWithCoder(plat::KeyedUnarchiver& coder) {
    plat::Object sources = coder.decodeObjectForKey(kCountsKey);
    if (coder.error() || !sources.isDict()) return nullptr;
    Counts counts;
    for (const auto& [source, reasons] : sources.dict()) {
        if (!reasons.isDict()) return nullptr;
        ReasonCounts& table = counts[source];
        for (const auto& [reasonText, count] : reasons.dict()) {
            std::optional<int64_t> reason = parseReason(reasonText);
            if (!reason || !count.isNumber()) return nullptr;
            table[*reason] = count.number().int64Value();
        }
    }
    return std::make_shared<TTRLogSourceMetrics>(std::move(counts));
}
