// A fixed-capacity circular store: a push into a full ring overwrites the oldest element and hands
// it back. A plain value; its users serialise access. A ring decoded from storage may carry a tail
// index outside its slots: pushes then fail with Error and pops answer nothing, so no operation
// ever reads or writes outside the slots.
#pragma once

#include "heartbeat/CodedValue.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace heartbeat {

template <typename Element> class RingBuffer {
public:
    // The only failure: a push at a tail index outside the slots.
    struct Error : std::runtime_error {
        int64_t pushIndex;
        int64_t endIndex;
        Error(int64_t pushIndex, int64_t endIndex)
            : std::runtime_error(describe(pushIndex, endIndex)), pushIndex(pushIndex), endIndex(endIndex) {}
        std::string errorDescription() const { return what(); }
        static std::string describe(int64_t pushIndex, int64_t endIndex) {
            return "Out-of-bounds push at index " + std::to_string(pushIndex) + " to ring buffer with" +
                   "end index of " + std::to_string(endIndex) + ".";
        }
    };

    // `capacity` empty slots (none for a negative capacity).
    explicit RingBuffer(int64_t capacity) : circularQueue_(capacity > 0 ? size_t(capacity) : 0) {}
    // The stored form taken as it stands.
    RingBuffer(std::vector<std::optional<Element>> slots, int64_t tailIndex)
        : circularQueue_(std::move(slots)), tailIndex_(tailIndex) {}

    // Stores `element` at the tail and answers what it overwrote. A ring without slots stores
    // nothing. Throws Error, changing nothing, when the tail index lies outside the slots.
    std::optional<Element> push(Element element) {
        const int64_t count = slotCount();
        if (count == 0) return std::nullopt;
        if (static_cast<uint64_t>(tailIndex_) >= static_cast<uint64_t>(count)) throw Error(tailIndex_, count);
        std::optional<Element> replaced = std::move(circularQueue_[size_t(tailIndex_)]);
        circularQueue_[size_t(tailIndex_)] = std::move(element);
        tailIndex_ = tailIndex_ + 1 == count ? 0 : tailIndex_ + 1;
        return replaced;
    }

    // Removes and answers the newest element; nothing at the first empty slot. A tail index above
    // the slot count (or the smallest integer) has no slot before it, so the ring answers nothing
    // and stays as it is.
    std::optional<Element> pop() {
        const int64_t count = slotCount();
        if (count == 0 || tailIndex_ > count || tailIndex_ == INT64_MIN) return std::nullopt;
        tailIndex_ -= 1;
        if (tailIndex_ < 0) tailIndex_ = count - 1;
        std::optional<Element> element = std::move(circularQueue_[size_t(tailIndex_)]);
        circularQueue_[size_t(tailIndex_)].reset();
        return element;
    }

    // The stored elements in slot order (not age order once the ring has wrapped).
    std::vector<Element> elements() const {
        std::vector<Element> out;
        for (const auto& slot : circularQueue_)
            if (slot) out.push_back(*slot);
        return out;
    }

    const std::vector<std::optional<Element>>& circularQueue() const { return circularQueue_; }
    int64_t tailIndex() const { return tailIndex_; }
    int64_t slotCount() const { return static_cast<int64_t>(circularQueue_.size()); }
    bool operator==(const RingBuffer&) const = default;

    // {"circularQueue": [element or null per slot], "tailIndex": n}. Decoding takes both as they
    // stand; Element supplies encode() and a static decode(), which may throw CodingError.
    plat::Object encode() const {
        plat::Object::Array slots;
        slots.reserve(circularQueue_.size());
        for (const auto& slot : circularQueue_)
            slots.push_back(slot ? slot->encode() : plat::Object::null());
        return plat::Object::Dict{{"circularQueue", plat::Object(std::move(slots))},
                                  {"tailIndex", plat::Object(tailIndex_)}};
    }
    static RingBuffer decode(const plat::Object& coded) {
        std::vector<std::optional<Element>> slots;
        for (const plat::Object& slot :
             CodedValue::array(CodedValue::require(coded, "circularQueue"), "circularQueue")) {
            if (slot.isNull())
                slots.emplace_back();
            else
                slots.emplace_back(Element::decode(slot));
        }
        int64_t tail = CodedValue::integer(CodedValue::require(coded, "tailIndex"), "tailIndex");
        return RingBuffer(std::move(slots), tail);
    }

private:
    std::vector<std::optional<Element>> circularQueue_;
    int64_t tailIndex_ = 0;
};

} // namespace heartbeat
