// Ports over sequenced-packet socket pairs in a fixed table.
#include "platform/mach/MachPort.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace plat::mach {

namespace {

enum PortState : int { Free = 0, Reserved = 1, Live = 2, Dying = 3 };

struct PortEntry {
    std::atomic<int> state{Free};
    std::atomic<int> users{0}; // sends and receives in progress
    std::atomic<bool> hasSendRight{false};
    int receiveDescriptor = -1;
    int sendDescriptor = -1;
};

constexpr uint32_t kPortCount = 64;
PortEntry ports[kPortCount];

constexpr Port nameOf(uint32_t index) {
    return ((index + 1) << 8) | 0x03;
}

// The live entry named `name`, with a use counted; release it with `done`.
PortEntry* acquire(Port name) {
    if ((name & 0xFF) != 0x03) return nullptr;
    const uint32_t index = (name >> 8) - 1;
    if (index >= kPortCount) return nullptr;
    PortEntry& entry = ports[index];
    entry.users.fetch_add(1);
    if (entry.state.load() != Live) {
        entry.users.fetch_sub(1);
        return nullptr;
    }
    return &entry;
}

void done(PortEntry* entry) {
    entry->users.fetch_sub(1);
}

// The disposition a receiver holds for one sent with `sent`.
uint32_t receivedDisposition(uint32_t sent) {
    switch (sent) {
    case kMsgTypeMakeSendOnce:
    case kMsgTypeMoveSendOnce:
        return kMsgTypePortSendOnce;
    case kMsgTypeMakeSend:
    case kMsgTypeCopySend:
    case kMsgTypeMoveSend:
        return kMsgTypePortSend;
    default:
        return 0;
    }
}

// Waits until the port has a message; false with `result` set on time-out, death or failure.
bool waitReadable(int descriptor, uint32_t options, uint32_t timeoutMilliseconds, KernReturn* result) {
    const int timeout = (options & kRcvTimeout) != 0 ? static_cast<int>(timeoutMilliseconds) : -1;
    struct pollfd poller {
        descriptor, POLLIN, 0
    };
    for (;;) {
        const int ready = poll(&poller, 1, timeout);
        if (ready > 0) return true;
        if (ready == 0) {
            *result = kRcvTimedOut;
            return false;
        }
        if (errno != EINTR) {
            *result = kRcvPortDied;
            return false;
        }
    }
}

} // namespace

Port taskSelf() {
    return kTaskSelf;
}

Port threadSelf() {
    return static_cast<Port>(gettid());
}

KernReturn allocatePort(Port* name) {
    if (name == nullptr) return kKernInvalidArgument;
    for (uint32_t index = 0; index < kPortCount; ++index) {
        PortEntry& entry = ports[index];
        int expected = Free;
        if (!entry.state.compare_exchange_strong(expected, Reserved)) continue;
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
            entry.state.store(Free);
            return kKernResourceShortage;
        }
        entry.receiveDescriptor = pair[0];
        entry.sendDescriptor = pair[1];
        entry.hasSendRight.store(false);
        entry.state.store(Live);
        *name = nameOf(index);
        return kKernSuccess;
    }
    return kKernResourceShortage;
}

KernReturn insertSendRight(Port name) {
    PortEntry* entry = acquire(name);
    if (entry == nullptr) return kKernInvalidName;
    entry->hasSendRight.store(true);
    done(entry);
    return kKernSuccess;
}

bool hasSendRight(Port name) {
    PortEntry* entry = acquire(name);
    if (entry == nullptr) return false;
    const bool result = entry->hasSendRight.load();
    done(entry);
    return result;
}

KernReturn destroyPort(Port name) {
    PortEntry* entry = acquire(name);
    if (entry == nullptr) return kKernInvalidName;
    int expected = Live;
    const bool mine = entry->state.compare_exchange_strong(expected, Dying);
    done(entry);
    if (!mine) return kKernInvalidName;
    // Wakes a receiver blocked in poll or recv; it sees the port die and stops using it.
    shutdown(entry->receiveDescriptor, SHUT_RDWR);
    shutdown(entry->sendDescriptor, SHUT_RDWR);
    while (entry->users.load() != 0)
        usleep(1000);
    close(entry->receiveDescriptor);
    close(entry->sendDescriptor);
    entry->receiveDescriptor = entry->sendDescriptor = -1;
    entry->hasSendRight.store(false);
    entry->state.store(Free);
    return kKernSuccess;
}

KernReturn send(const MessageHeader* message) {
    if (message == nullptr || message->size < sizeof(MessageHeader)) return kSendInvalidData;
    PortEntry* entry = acquire(message->remotePort);
    if (entry == nullptr) return kSendInvalidDest;
    KernReturn result = kMsgSuccess;
    if (!entry->hasSendRight.load()) {
        result = kSendInvalidDest;
    } else {
        ssize_t sent;
        do {
            sent = ::send(entry->sendDescriptor, message, message->size, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        if (sent != static_cast<ssize_t>(message->size)) result = kSendInvalidDest;
    }
    done(entry);
    return result;
}

KernReturn receive(MessageHeader* buffer, uint32_t bufferSize, Port port, uint32_t options,
                   uint32_t timeoutMilliseconds) {
    if (buffer == nullptr || bufferSize < sizeof(MessageHeader) + sizeof(MessageTrailer)) return kRcvTooLarge;
    PortEntry* entry = acquire(port);
    if (entry == nullptr) return kRcvInvalidName;
    KernReturn result = kMsgSuccess;
    if (!waitReadable(entry->receiveDescriptor, options, timeoutMilliseconds, &result)) {
        done(entry);
        return result;
    }
    // The size of the waiting packet, without taking it.
    const ssize_t waiting = recv(entry->receiveDescriptor, buffer, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    if (waiting <= 0 || entry->state.load() != Live) {
        done(entry);
        return kRcvPortDied;
    }
    const uint32_t needed = static_cast<uint32_t>(waiting) + sizeof(MessageTrailer);
    if (needed > bufferSize) {
        if ((options & kRcvLarge) == 0) recv(entry->receiveDescriptor, buffer, 0, MSG_TRUNC | MSG_DONTWAIT);
        buffer->size = needed;
        done(entry);
        return kRcvTooLarge;
    }
    const ssize_t received =
        recv(entry->receiveDescriptor, buffer, static_cast<size_t>(waiting), MSG_DONTWAIT);
    done(entry);
    if (received != waiting) return kRcvPortDied;

    // What the kernel does on delivery: the reply port becomes the remote port and the receiving
    // port the local one, each with the right the receiver now holds.
    const uint32_t sentRemote = buffer->bits & 0xFF;
    const uint32_t sentLocal = (buffer->bits >> 8) & 0xFF;
    const Port replyPort = buffer->localPort;
    buffer->bits = (buffer->bits & kMsgBitsComplex) |
                   messageBits(replyPort != kPortNull ? receivedDisposition(sentLocal) : 0,
                               receivedDisposition(sentRemote));
    buffer->remotePort = replyPort;
    buffer->localPort = port;
    buffer->size = static_cast<uint32_t>(received);
    MessageTrailer trailer{0, sizeof(MessageTrailer)};
    memcpy(reinterpret_cast<char*>(buffer) + received, &trailer, sizeof(trailer));
    return kMsgSuccess;
}

} // namespace plat::mach
