// What a client attaches to an event: an object that renders itself as the bytes the upload carries
// (an encoded protocol-buffer message for every adopter in the system).
#pragma once

#include "platform/object/Object.h"

#include <optional>

class TTREventDataObject {
public:
    virtual ~TTREventDataObject() = default;
    // The payload bytes; none when the object has nothing to send (the event then cannot be stored).
    virtual std::optional<plat::Data> transportBytes() const = 0;
};
