// The transport's counter table of lost events: per log source (the events' mapping id), per drop
// reason, how many. Immutable; merging makes a new table. Archived with secure coding as
// "TTRLogSourceMetrics" (reasons are written as decimal texts, the archive's dictionary keys).
#pragma once

#include "transport/TTREvent.h"

#include "platform/foundation/SecureCoding.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class TTRLogSourceMetrics : public plat::SecureCoding {
public:
    static constexpr const char* kClassName = "TTRLogSourceMetrics";
    using ReasonCounts = std::map<int64_t, int64_t>;
    using Counts = std::map<std::string, ReasonCounts>;

    explicit TTRLogSourceMetrics(Counts droppedEventCounterByLogSource)
        : droppedEventCounterByLogSource_(std::move(droppedEventCounterByLogSource)) {}

    // An empty table.
    static std::shared_ptr<const TTRLogSourceMetrics> metrics();
    // One count per event and `reason`, by mapping id; events without a mapping id are skipped.
    static std::shared_ptr<const TTRLogSourceMetrics> metricsWithEvents(const TTREvents& events,
                                                                        int64_t reason);

    const Counts& droppedEventCounterByLogSource() const { return droppedEventCounterByLogSource_; }

    // The union of both tables; counts of the same source and reason are added (saturating).
    std::shared_ptr<const TTRLogSourceMetrics>
    logSourceMetricsByMergingWithLogSourceMetrics(const TTRLogSourceMetrics& other) const;

    // `first` with every entry of `second` added: new keys are stored, existing ones get
    // `uniquing(existing, new)`.
    template <typename Map>
    static Map dictionaryByMergingDictionary(
        const Map& first, const Map& second,
        const std::function<typename Map::mapped_type(const typename Map::mapped_type&,
                                                      const typename Map::mapped_type&)>& uniquing) {
        Map merged = first;
        for (const auto& entry : second) {
            auto found = merged.find(entry.first);
            if (found == merged.end())
                merged.emplace(entry.first, entry.second);
            else
                found->second = uniquing(found->second, entry.second);
        }
        return merged;
    }

    bool isEqualToLogSourceMetrics(const TTRLogSourceMetrics& other) const {
        return droppedEventCounterByLogSource_ == other.droppedEventCounterByLogSource_;
    }
    size_t hash() const;
    std::string description() const;

    std::string className() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override;
    // Null when the table is missing or any level is of the wrong kind.
    static std::shared_ptr<TTRLogSourceMetrics> initWithCoder(plat::KeyedUnarchiver& coder);

private:
    Counts droppedEventCounterByLogSource_;
};
