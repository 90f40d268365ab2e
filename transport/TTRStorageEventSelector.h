// Which stored events of one target an upload batch takes: optionally only some event ids, mapping
// ids or QoS tiers. A missing or empty set does not filter.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

class TTRStorageEventSelector {
public:
    TTRStorageEventSelector(int64_t selectedTarget, std::optional<std::set<std::string>> selectedEventIDs,
                            std::optional<std::set<std::string>> selectedMappingIDs,
                            std::optional<std::set<int64_t>> selectedQosTiers)
        : selectedTarget_(selectedTarget), selectedEventIDs_(std::move(selectedEventIDs)),
          selectedMappingIDs_(std::move(selectedMappingIDs)), selectedQosTiers_(std::move(selectedQosTiers)) {
    }

    // Every event of the target.
    static TTRStorageEventSelector eventSelectorForTarget(int64_t target) {
        return TTRStorageEventSelector(target, std::nullopt, std::nullopt, std::nullopt);
    }

    int64_t selectedTarget() const { return selectedTarget_; }
    const std::optional<std::set<std::string>>& selectedEventIDs() const { return selectedEventIDs_; }
    const std::optional<std::set<std::string>>& selectedMappingIDs() const { return selectedMappingIDs_; }
    const std::optional<std::set<int64_t>>& selectedQosTiers() const { return selectedQosTiers_; }

private:
    int64_t selectedTarget_;
    std::optional<std::set<std::string>> selectedEventIDs_;
    std::optional<std::set<std::string>> selectedMappingIDs_;
    std::optional<std::set<int64_t>> selectedQosTiers_;
};
