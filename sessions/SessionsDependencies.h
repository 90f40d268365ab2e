// The process-wide set of subscribers the session component waits for before it sends its first
// event. It only grows. A name must be added before the component is built: a name added later is
// never waited for. Thread-safe.
#pragma once

#include "sessions/SessionsSubscriber.h"

#include <set>

class TSRSessionsDependencies {
public:
    static void addDependencyWithName(SessionsSubscriberName name);
    static std::set<SessionsSubscriberName> dependencies();

    // Test hook: the empty set again.
    static void removeAllDependenciesForTesting();
};
