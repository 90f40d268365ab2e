#include "core/TSRComponent.h"

std::shared_ptr<TSRComponent> TSRComponent::componentWithProtocol(TSRProtocol protocol,
                                                                  TSRInstantiationTiming timing,
                                                                  TSRComponentCreationBlock creationBlock) {
    return std::make_shared<TSRComponent>(std::move(protocol), timing, std::move(creationBlock));
}

std::shared_ptr<TSRComponent> TSRComponent::componentWithProtocol(TSRProtocol protocol,
                                                                  TSRComponentCreationBlock creationBlock) {
    return componentWithProtocol(std::move(protocol), TSRInstantiationTimingLazy, std::move(creationBlock));
}
