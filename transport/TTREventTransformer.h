// A step a transport runs over each of its events before storage: answers the event to keep (the
// same or another one) or null to drop it.
#pragma once

#include <memory>

class TTREvent;

class TTREventTransformer {
public:
    virtual ~TTREventTransformer() = default;
    virtual std::shared_ptr<TTREvent> transformTTREvent(std::shared_ptr<TTREvent> event) = 0;
};
