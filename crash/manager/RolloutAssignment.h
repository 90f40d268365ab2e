// The records through which a remote-configuration component tells the crash reporter which
// rollouts (staged feature variants) this installation is in. Assignments are compared by
// identity: two objects with equal fields are two members of a state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class RolloutAssignment {
public:
    RolloutAssignment(std::string rolloutId, std::string variantId, int64_t templateVersion,
                      std::string parameterKey, std::string parameterValue)
        : rolloutId(std::move(rolloutId)), variantId(std::move(variantId)), templateVersion(templateVersion),
          parameterKey(std::move(parameterKey)), parameterValue(std::move(parameterValue)) {}

    std::string rolloutId;
    std::string variantId;
    int64_t templateVersion;
    std::string parameterKey;
    std::string parameterValue;
};

// The current set of assignments, in the order they were first given.
class RolloutsState {
public:
    // Every element of the list, in order; the same object given twice is kept once.
    explicit RolloutsState(const std::vector<std::shared_ptr<RolloutAssignment>>& assignmentList);

    const std::vector<std::shared_ptr<RolloutAssignment>>& assignments() const { return assignments_; }
    void setAssignments(const std::vector<std::shared_ptr<RolloutAssignment>>& assignments);

private:
    std::vector<std::shared_ptr<RolloutAssignment>> assignments_;
};

// Names the namespace under which the crash reporter subscribes to rollout changes.
struct RemoteFlagsConstants {
    static constexpr const char* NamespaceTesseraMobilePlatform = "tessera";
};

// Told when the rollouts change.
class TSRRolloutsStateSubscriber {
public:
    virtual ~TSRRolloutsStateSubscriber() = default;
    virtual void rolloutsStateDidChange(const RolloutsState& rolloutsState) = 0;
};

// What a remote-configuration component offers the crash reporter. No such component is
// registered in this program.
class TSRRemoteFlagsInterop {
public:
    virtual ~TSRRemoteFlagsInterop() = default;
    virtual void registerRolloutsStateSubscriber(std::weak_ptr<TSRRolloutsStateSubscriber> subscriber,
                                                 const std::string& nameSpace) = 0;
};
