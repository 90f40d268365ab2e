#include "crash/manager/CrashwatchRemoteFlagsManager.h"

#include "crash/manager/EncodedRolloutsState.h"
#include "platform/foundation/Coding.h"
#include "platform/foundation/Text.h"

#include <cstdio>

namespace {

// The longest prefix of `text` that fits in `limit` UTF-16 code units, never splitting a character.
std::string utf16Prefix(const std::string& text, size_t limit) {
    size_t units = 0;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80           ? 1
                        : (lead >> 5) == 0x6  ? 2
                        : (lead >> 4) == 0xE  ? 3
                        : (lead >> 3) == 0x1E ? 4
                                              : 1;
        size_t cost = length == 4 ? 2 : 1;
        if (units + cost > limit || i + length > text.size()) break;
        units += cost;
        i += length;
    }
    return text.substr(0, i);
}

} // namespace

std::string FileUtility::stringToHexConverter(const std::string& string) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(string.size() * 2);
    for (unsigned char byte : string) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0xF]);
    }
    return hex;
}

CrashwatchRemoteFlagsManager::CrashwatchRemoteFlagsManager(
    std::shared_ptr<TSRRemoteFlagsInterop> remoteFlags,
    std::shared_ptr<CrashwatchRolloutsPersistence> persistenceDelegate)
    : remoteFlags_(std::move(remoteFlags)), persistenceDelegate_(std::move(persistenceDelegate)) {}

std::vector<std::shared_ptr<RolloutAssignment>> CrashwatchRemoteFlagsManager::rolloutAssignment() const {
    std::lock_guard guard(lock_);
    return rolloutAssignment_;
}

std::vector<std::shared_ptr<RolloutAssignment>> CrashwatchRemoteFlagsManager::normalizeRolloutAssignment(
    std::vector<std::shared_ptr<RolloutAssignment>> assignments) {
    if (assignments.size() > maxRolloutAssignments) {
        if (persistenceDelegate_)
            persistenceDelegate_->debugLogWithMessage(
                "Rollouts excess the maximum number of assignments can pass to Crashwatch");
        assignments.resize(maxRolloutAssignments);
    }
    for (const auto& assignment : assignments) {
        if (plat::text::graphemeCount(assignment->parameterValue) <= maxParameterValueLength) continue;
        std::printf("Rollouts excess the maximum length of parameter value can pass to Crashwatch %s\n",
                    assignment->parameterValue.c_str());
        assignment->parameterValue = utf16Prefix(assignment->parameterValue, maxParameterValueLength);
    }
    return assignments;
}

void CrashwatchRemoteFlagsManager::updateRolloutsState(const RolloutsState& rolloutsState,
                                                       const std::string& reportID) {
    {
        std::lock_guard guard(lock_);
        rolloutAssignment_ = normalizeRolloutAssignment(rolloutsState.assignments());
    }
    std::optional<plat::Data> document = EncodedRolloutsState(encodedAssignments()).jsonData();
    if (document && persistenceDelegate_)
        persistenceDelegate_->updateRolloutsStateToPersistenceWithRollouts(*document, reportID);
}

std::optional<std::string> CrashwatchRemoteFlagsManager::getRolloutAssignmentsEncodedJsonString() {
    std::optional<std::string> text;
    try {
        text = plat::toString(plat::JSONEncoder().encode(encodedAssignments()));
    } catch (const plat::EncodingError&) {
        // Dropped, as the delegate's line says.
    }
    if (!text && persistenceDelegate_)
        persistenceDelegate_->debugLogWithMessage("Failed to serialize rollouts: nil");
    return text;
}

std::vector<EncodedRolloutAssignment> CrashwatchRemoteFlagsManager::encodedAssignments() const {
    std::vector<EncodedRolloutAssignment> encoded;
    for (const auto& assignment : rolloutAssignment())
        encoded.emplace_back(*assignment);
    return encoded;
}
