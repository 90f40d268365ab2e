// A small stand-in of the kernel's message ports, enough for an exception server to run: port names
// with a receive right and a send right, one-message-at-a-time send and receive with the header
// rewriting the kernel does on delivery (the receiver sees the reply port as the remote port), and
// port destruction that wakes a blocked receiver with an error.
//
// Each port is a Linux sequenced-packet socket pair: a message is one packet, sent and received
// whole. Send and receive are plain system calls on a fixed table (no heap, no locks), so they
// are usable on a crash server thread; allocation and destruction are start-up and tear-down
// operations.
//
// Names: ports are small integers ending in 0x03; the task of this process is kTaskSelf; threads
// are named by their kernel thread ids.
#pragma once

#include <cstdint>

namespace plat::mach {

using Port = uint32_t;
using KernReturn = int32_t;

inline constexpr Port kPortNull = 0;

// Kernel results.
inline constexpr KernReturn kKernSuccess = 0;
inline constexpr KernReturn kKernInvalidAddress = 1;
inline constexpr KernReturn kKernInvalidArgument = 4;
inline constexpr KernReturn kKernFailure = 5;
inline constexpr KernReturn kKernResourceShortage = 6;
inline constexpr KernReturn kKernInvalidName = 15;
inline constexpr KernReturn kKernInvalidRight = 17;

// Message results.
inline constexpr KernReturn kMsgSuccess = 0;
inline constexpr KernReturn kSendInvalidData = 0x10000002;
inline constexpr KernReturn kSendInvalidDest = 0x10000003;
inline constexpr KernReturn kRcvInvalidName = 0x10004002;
inline constexpr KernReturn kRcvTimedOut = 0x10004003;
inline constexpr KernReturn kRcvTooLarge = 0x10004004;
inline constexpr KernReturn kRcvPortDied = 0x10004009;

// Receive options.
inline constexpr uint32_t kRcvMsg = 0x2;
// A message too large for the buffer stays queued; the header's size says what it needs.
inline constexpr uint32_t kRcvLarge = 0x4;
inline constexpr uint32_t kRcvTimeout = 0x100;

// Port dispositions in a header or descriptor as sent, and as the receiver sees them.
inline constexpr uint32_t kMsgTypeMoveSend = 17;
inline constexpr uint32_t kMsgTypeMoveSendOnce = 18;
inline constexpr uint32_t kMsgTypeCopySend = 19;
inline constexpr uint32_t kMsgTypeMakeSend = 20;
inline constexpr uint32_t kMsgTypeMakeSendOnce = 21;
inline constexpr uint32_t kMsgTypePortSend = kMsgTypeMoveSend;
inline constexpr uint32_t kMsgTypePortSendOnce = kMsgTypeMoveSendOnce;
// The message carries descriptors after its body count.
inline constexpr uint32_t kMsgBitsComplex = 0x80000000u;

constexpr uint32_t messageBits(uint32_t remote, uint32_t local) {
    return remote | (local << 8);
}

// The fixed head of every message.
struct MessageHeader {
    uint32_t bits;
    uint32_t size; // bytes of the message, trailer excluded
    Port remotePort;
    Port localPort;
    Port voucherPort;
    int32_t id;
};

// Appended by the kernel on receive.
struct MessageTrailer {
    uint32_t type;
    uint32_t size;
};

// The task of the calling process.
inline constexpr Port kTaskSelf = 0x107;
Port taskSelf();
// The calling thread's kernel id.
Port threadSelf();

// A new port with its receive right. kKernResourceShortage when the table is full or the system
// refuses the socket pair.
KernReturn allocatePort(Port* name);
// Adds the send right to a port whose receive right we hold.
KernReturn insertSendRight(Port name);
// Whether `name` is a live port with its send right.
bool hasSendRight(Port name);
// Destroys the port; a thread blocked receiving on it returns kRcvPortDied. Waits until no send
// or receive is still using the port before its name can be given out again.
KernReturn destroyPort(Port name);

// Sends `message` (header->size bytes) to the port named by its remote port, which needs a send
// right. Does not block unless the port's queue is full.
KernReturn send(const MessageHeader* message);
// Receives one message from `port` into `buffer` (`bufferSize` bytes, room for the trailer
// included). On delivery the header's remote port becomes the sender's local (reply) port and its
// local port becomes `port`, with the dispositions turned into the rights the receiver holds; the
// trailer is appended. With kRcvTimeout it waits at most `timeoutMilliseconds`.
KernReturn receive(MessageHeader* buffer, uint32_t bufferSize, Port port, uint32_t options = kRcvMsg,
                   uint32_t timeoutMilliseconds = 0);

} // namespace plat::mach
