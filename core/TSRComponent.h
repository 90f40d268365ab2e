// One service that a library offers to the others: the protocol it provides, when its instance is
// made and the block that makes it. Immutable after creation.
#pragma once

#include "core/TSRProtocol.h"

#include <cstdint>
#include <functional>
#include <memory>

class TSRComponentContainer;

enum TSRInstantiationTiming : int64_t {
    TSRInstantiationTimingLazy = 0,              // made when first asked for
    TSRInstantiationTimingAlwaysEager = 1,       // made while any app is configured
    TSRInstantiationTimingEagerInDefaultApp = 2, // made while the default app is configured, else lazily
};

// Makes the instance for `container`'s app, or answers null. Setting `*isCacheable` keeps the
// instance in the container for later requests. It runs with the container's lock held and may ask
// the same container for other protocols.
using TSRComponentCreationBlock =
    std::function<std::shared_ptr<TSRComponentInstance>(TSRComponentContainer& container, bool* isCacheable)>;

class TSRComponent {
public:
    static std::shared_ptr<TSRComponent> componentWithProtocol(TSRProtocol protocol,
                                                               TSRInstantiationTiming timing,
                                                               TSRComponentCreationBlock creationBlock);
    // Lazy timing.
    static std::shared_ptr<TSRComponent> componentWithProtocol(TSRProtocol protocol,
                                                               TSRComponentCreationBlock creationBlock);

    TSRComponent(TSRProtocol protocol, TSRInstantiationTiming timing, TSRComponentCreationBlock creationBlock)
        : protocol_(std::move(protocol)), instantiationTiming_(timing),
          creationBlock_(std::move(creationBlock)) {}

    const TSRProtocol& protocol() const { return protocol_; }
    TSRInstantiationTiming instantiationTiming() const { return instantiationTiming_; }
    const TSRComponentCreationBlock& creationBlock() const { return creationBlock_; }

private:
    TSRProtocol protocol_;
    TSRInstantiationTiming instantiationTiming_;
    TSRComponentCreationBlock creationBlock_;
};
