// The task's exception-port table and the kernel's side of an exception.
#include "platform/mach/MachException.h"

#include <atomic>
#include <cstring>

namespace plat::mach {

namespace {

struct ExceptionPortEntry {
    std::atomic<Port> port{kPortNull};
    std::atomic<uint32_t> behavior{0};
    std::atomic<uint32_t> flavor{0};
};

ExceptionPortEntry exceptionPorts[kExcTypesCount];

constexpr uint32_t kValidMask = ((1u << kExcTypesCount) - 1) & ~1u;

void storeEntry(uint32_t mask, Port port, uint32_t behavior, uint32_t flavor) {
    for (uint32_t type = 1; type < kExcTypesCount; ++type) {
        if ((mask & exceptionMask(static_cast<int32_t>(type))) == 0) continue;
        exceptionPorts[type].behavior.store(behavior);
        exceptionPorts[type].flavor.store(flavor);
        exceptionPorts[type].port.store(port);
    }
}

} // namespace

KernReturn swapExceptionPorts(Port task, uint32_t mask, Port port, uint32_t behavior, uint32_t flavor,
                              uint32_t* masks, uint32_t* count, Port* ports, uint32_t* behaviors,
                              uint32_t* flavors) {
    if (task != kTaskSelf || (mask & ~kValidMask) != 0 || masks == nullptr || count == nullptr ||
        ports == nullptr || behaviors == nullptr || flavors == nullptr)
        return kKernInvalidArgument;
    if (port != kPortNull && !hasSendRight(port)) return kKernInvalidRight;
    const uint32_t capacity = *count;
    uint32_t found = 0;
    for (uint32_t type = 1; type < kExcTypesCount; ++type) {
        const uint32_t bit = exceptionMask(static_cast<int32_t>(type));
        if ((mask & bit) == 0) continue;
        const Port old = exceptionPorts[type].port.load();
        const uint32_t oldBehavior = exceptionPorts[type].behavior.load();
        const uint32_t oldFlavor = exceptionPorts[type].flavor.load();
        if (old == kPortNull) continue;
        uint32_t index = 0;
        while (index < found &&
               !(ports[index] == old && behaviors[index] == oldBehavior && flavors[index] == oldFlavor))
            ++index;
        if (index == found) {
            if (found == capacity) continue;
            masks[index] = 0;
            ports[index] = old;
            behaviors[index] = oldBehavior;
            flavors[index] = oldFlavor;
            ++found;
        }
        masks[index] |= bit;
    }
    *count = found;
    storeEntry(mask, port, behavior, flavor);
    return kKernSuccess;
}

KernReturn setExceptionPorts(Port task, uint32_t mask, Port port, uint32_t behavior, uint32_t flavor) {
    if (task != kTaskSelf || (mask & ~kValidMask) != 0) return kKernInvalidArgument;
    if (port != kPortNull && !hasSendRight(port)) return kKernInvalidRight;
    storeEntry(mask, port, behavior, flavor);
    return kKernSuccess;
}

Port exceptionPortFor(int32_t exception) {
    if (exception <= 0 || static_cast<uint32_t>(exception) >= kExcTypesCount) return kPortNull;
    return exceptionPorts[exception].port.load();
}

KernReturn raiseException(int32_t exception, const int64_t* codes, uint32_t codeCount, Port thread, Port task,
                          uint32_t timeoutMilliseconds) {
    const Port handler = exceptionPortFor(exception);
    if (handler == kPortNull) return kKernFailure;
    Port replyPort = kPortNull;
    if (allocatePort(&replyPort) != kKernSuccess) return kKernFailure;
    insertSendRight(replyPort);

    ExceptionRequest request{};
    request.header.bits = kMsgBitsComplex | messageBits(kMsgTypeCopySend, kMsgTypeMakeSendOnce);
    request.header.size = sizeof(ExceptionRequest) - sizeof(MessageTrailer);
    request.header.remotePort = handler;
    request.header.localPort = replyPort;
    request.header.id = kExceptionRaiseRequestId;
    request.descriptorCount = 2;
    request.thread = PortDescriptor{thread, 0, 0, static_cast<uint8_t>(kMsgTypePortSend), 0};
    request.task = PortDescriptor{task, 0, 0, static_cast<uint8_t>(kMsgTypePortSend), 0};
    request.ndr = kNDRRecord;
    request.exception = exception;
    request.codeCount = codeCount > 2 ? 2 : codeCount;
    for (uint32_t i = 0; i < request.codeCount; ++i)
        request.codes[i] = codes != nullptr ? codes[i] : 0;

    KernReturn result = kKernFailure;
    if (send(&request.header) == kMsgSuccess) {
        ExceptionReply reply{};
        char buffer[sizeof(ExceptionReply) + sizeof(MessageTrailer)];
        auto* header = reinterpret_cast<MessageHeader*>(buffer);
        if (receive(header, sizeof(buffer), replyPort, kRcvMsg | kRcvTimeout, timeoutMilliseconds) ==
                kMsgSuccess &&
            header->size >= sizeof(ExceptionReply)) {
            memcpy(&reply, buffer, sizeof(reply));
            if (reply.header.id == kExceptionRaiseReplyId) result = reply.returnCode;
        }
    }
    destroyPort(replyPort);
    return result;
}

void resetExceptionPortsForTesting() {
    storeEntry(kValidMask, kPortNull, 0, 0);
}

} // namespace plat::mach
