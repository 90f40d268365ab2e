#include "sessions/SessionsSubscriber.h"

#include "sessions/SessionsDependencies.h"

#include <mutex>

std::optional<SessionsSubscriberName> SessionsSubscriberNameFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > 2) return std::nullopt;
    return static_cast<SessionsSubscriberName>(rawValue);
}

std::string SessionsSubscriberNameDescription(SessionsSubscriberName name) {
    switch (name) {
    case SessionsSubscriberName::Crashwatch:
        return "Crashwatch";
    case SessionsSubscriberName::Performance:
        return "Performance";
    default:
        return "Unknown";
    }
}

TSRProtocol TSRSessionsProviderProtocol() {
    return TSRProtocol::of<TSRSessionsProvider>("TSRSessionsProvider");
}

namespace {

struct Dependencies {
    std::mutex lock;
    std::set<SessionsSubscriberName> names;
};

Dependencies& dependencySet() {
    static auto* set = new Dependencies;
    return *set;
}

} // namespace

void TSRSessionsDependencies::addDependencyWithName(SessionsSubscriberName name) {
    Dependencies& set = dependencySet();
    std::lock_guard guard(set.lock);
    set.names.insert(name);
}

std::set<SessionsSubscriberName> TSRSessionsDependencies::dependencies() {
    Dependencies& set = dependencySet();
    std::lock_guard guard(set.lock);
    return set.names;
}

void TSRSessionsDependencies::removeAllDependenciesForTesting() {
    Dependencies& set = dependencySet();
    std::lock_guard guard(set.lock);
    set.names.clear();
}
