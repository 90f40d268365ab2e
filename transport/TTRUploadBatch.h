// A batch handed to an upload: its id and the events moved into its folder. Travels through
// promises as an opaque object (asObject / fromObject).
#pragma once

#include "transport/TTREvent.h"

#include "platform/object/Object.h"

#include <cstdint>
#include <memory>

class TTRUploadBatch {
public:
    TTRUploadBatch(int64_t batchID, TTREvents events) : batchID_(batchID), events_(std::move(events)) {}
    static std::shared_ptr<const TTRUploadBatch> initWithBatchID(int64_t batchID, TTREvents events) {
        return std::make_shared<const TTRUploadBatch>(batchID, std::move(events));
    }

    int64_t batchID() const { return batchID_; }
    const TTREvents& events() const { return events_; }

    static plat::Object asObject(std::shared_ptr<const TTRUploadBatch> batch) {
        return plat::Object(plat::Opaque::make<TTRUploadBatch>(std::move(batch), "TTRUploadBatch"));
    }
    // The batch an object carries; null when it carries none.
    static std::shared_ptr<const TTRUploadBatch> fromObject(const plat::Object& object) {
        const plat::Opaque& opaque = object.opaque();
        if (!opaque.as<TTRUploadBatch>()) return nullptr;
        return std::static_pointer_cast<const TTRUploadBatch>(opaque.pointer);
    }

private:
    int64_t batchID_;
    TTREvents events_;
};
