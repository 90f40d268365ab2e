// The crash reporter's copy of the current rollout assignments: at most 128, parameter values cut
// to 256 characters, and every string written as lower-case hex of its UTF-8 bytes. Hands the
// state to the persistence delegate for the current report and gives the assignments as a JSON
// string for recorded errors. Thread-safe: only the list is locked, never while encoding or
// calling the delegate.
#pragma once

#include "crash/manager/EncodedRolloutAssignment.h"
#include "crash/manager/RolloutAssignment.h"
#include "platform/object/Object.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Where the rollouts state of a report is stored, and a debug line for the crash log.
class CrashwatchRolloutsPersistence {
public:
    virtual ~CrashwatchRolloutsPersistence() = default;
    virtual void updateRolloutsStateToPersistenceWithRollouts(const plat::Data& rollouts,
                                                              const std::string& reportID) = 0;
    virtual void debugLogWithMessage(const std::string& message) = 0;
};

struct FileUtility {
    // Two lower-case hex digits per UTF-8 byte.
    static std::string stringToHexConverter(const std::string& string);
};

class CrashwatchRemoteFlagsManager {
public:
    static constexpr size_t maxRolloutAssignments = 128;
    static constexpr size_t maxParameterValueLength = 256;

    CrashwatchRemoteFlagsManager(std::shared_ptr<TSRRemoteFlagsInterop> remoteFlags,
                                 std::shared_ptr<CrashwatchRolloutsPersistence> persistenceDelegate);

    std::vector<std::shared_ptr<RolloutAssignment>> rolloutAssignment() const;
    // Keeps the normalised assignments and hands the rollouts-state document for `reportID` on.
    void updateRolloutsState(const RolloutsState& rolloutsState, const std::string& reportID);
    // The bare array of encoded assignments as text; none when it cannot be encoded.
    std::optional<std::string> getRolloutAssignmentsEncodedJsonString();

    // Cuts the list to 128 and long values to 256 UTF-16 code units (in place: the caller's
    // assignment objects see the shortened value too).
    std::vector<std::shared_ptr<RolloutAssignment>>
    normalizeRolloutAssignment(std::vector<std::shared_ptr<RolloutAssignment>> assignments);

private:
    std::vector<EncodedRolloutAssignment> encodedAssignments() const;

    mutable std::mutex lock_;
    std::vector<std::shared_ptr<RolloutAssignment>> rolloutAssignment_;
    std::shared_ptr<TSRRemoteFlagsInterop> remoteFlags_;
    std::shared_ptr<CrashwatchRolloutsPersistence> persistenceDelegate_;
};
