// The way libraries ask an app's container for the instance of a protocol.
#pragma once

#include "core/TSRComponentContainer.h"

class TSRComponentType {
public:
    // `container.instanceForProtocol(protocol)`; null when there is no container.
    static std::shared_ptr<TSRComponentInstance> instanceForProtocol(const TSRProtocol& protocol,
                                                                     TSRComponentContainer* container) {
        return container ? container->instanceForProtocol(protocol) : nullptr;
    }
};
