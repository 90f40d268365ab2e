// The exception-port stand-in: ports and messages, the task's exception-port table and the kernel's
// side of an exception.
#include "platform/mach/MachException.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <unistd.h>

namespace mach = plat::mach;

namespace {

// A port with its receive and send rights, destroyed at the end of the test.
struct OwnedPort {
    OwnedPort() {
        EXPECT_EQ(mach::allocatePort(&name), mach::kKernSuccess);
        EXPECT_EQ(mach::insertSendRight(name), mach::kKernSuccess);
    }
    ~OwnedPort() { mach::destroyPort(name); }
    mach::Port name = mach::kPortNull;
};

TEST(MachPorts, AMessageArrivesWithTheReplyPortAsItsRemotePort) {
    OwnedPort service, replies;
    mach::ExceptionReply message{};
    message.header.bits = mach::messageBits(mach::kMsgTypeCopySend, mach::kMsgTypeMakeSendOnce);
    message.header.size = sizeof(message);
    message.header.remotePort = service.name;
    message.header.localPort = replies.name;
    message.header.id = 77;
    message.returnCode = 1234;
    ASSERT_EQ(mach::send(&message.header), mach::kMsgSuccess);

    char buffer[sizeof(mach::ExceptionReply) + sizeof(mach::MessageTrailer)];
    auto* header = reinterpret_cast<mach::MessageHeader*>(buffer);
    ASSERT_EQ(mach::receive(header, sizeof(buffer), service.name), mach::kMsgSuccess);
    EXPECT_EQ(header->remotePort, replies.name);
    EXPECT_EQ(header->localPort, service.name);
    EXPECT_EQ(header->bits, mach::messageBits(mach::kMsgTypePortSendOnce, mach::kMsgTypePortSend));
    EXPECT_EQ(header->size, sizeof(mach::ExceptionReply));
    EXPECT_EQ(reinterpret_cast<mach::ExceptionReply*>(buffer)->returnCode, 1234);
    EXPECT_EQ(reinterpret_cast<mach::MessageTrailer*>(buffer + sizeof(mach::ExceptionReply))->size, 8u);
}

TEST(MachPorts, SendsNeedASendRightAndSmallBuffersKeepLargeMessagesQueued) {
    mach::Port receiveOnly = mach::kPortNull;
    ASSERT_EQ(mach::allocatePort(&receiveOnly), mach::kKernSuccess);
    mach::ExceptionReply message{};
    message.header.size = sizeof(message);
    message.header.remotePort = receiveOnly;
    EXPECT_EQ(mach::send(&message.header), mach::kSendInvalidDest);
    EXPECT_EQ(mach::insertSendRight(receiveOnly), mach::kKernSuccess);
    ASSERT_EQ(mach::send(&message.header), mach::kMsgSuccess);

    char small[sizeof(mach::MessageHeader) + sizeof(mach::MessageTrailer)];
    auto* header = reinterpret_cast<mach::MessageHeader*>(small);
    EXPECT_EQ(mach::receive(header, sizeof(small), receiveOnly, mach::kRcvMsg | mach::kRcvLarge),
              mach::kRcvTooLarge);
    EXPECT_EQ(header->size, sizeof(mach::ExceptionReply) + sizeof(mach::MessageTrailer))
        << "the size it needs";
    char large[64];
    EXPECT_EQ(mach::receive(reinterpret_cast<mach::MessageHeader*>(large), sizeof(large), receiveOnly),
              mach::kMsgSuccess)
        << "the message stayed queued";
    EXPECT_EQ(mach::receive(reinterpret_cast<mach::MessageHeader*>(large), sizeof(large), receiveOnly,
                            mach::kRcvMsg | mach::kRcvTimeout, 10),
              mach::kRcvTimedOut);
    EXPECT_EQ(mach::destroyPort(receiveOnly), mach::kKernSuccess);
    EXPECT_EQ(mach::send(&message.header), mach::kSendInvalidDest) << "a destroyed port takes nothing";
    EXPECT_EQ(mach::destroyPort(receiveOnly), mach::kKernInvalidName);
}

TEST(MachPorts, DestroyingAPortWakesItsReceiver) {
    mach::Port port = mach::kPortNull;
    ASSERT_EQ(mach::allocatePort(&port), mach::kKernSuccess);
    std::atomic<mach::KernReturn> result{0};
    std::atomic<pid_t> receiving{0};
    std::thread receiver([&] {
        receiving = gettid();
        char buffer[128];
        result = mach::receive(reinterpret_cast<mach::MessageHeader*>(buffer), sizeof(buffer), port);
    });
    // The port dies under a receiver that already waits on it, not before it gets there.
    EXPECT_TRUE(testsupport::waitUntil([&] { return receiving.load() != 0; }) &&
                testsupport::waitUntilBlockedInPoll(receiving.load()))
        << "the receiver never waited";
    EXPECT_EQ(mach::destroyPort(port), mach::kKernSuccess);
    receiver.join();
    EXPECT_EQ(result.load(), mach::kRcvPortDied);
}

TEST(MachExceptionPorts, SwappingHandsBackThePreviousPortsMerged) {
    mach::resetExceptionPortsForTesting();
    OwnedPort first, second;
    uint32_t masks[14], behaviors[14], flavors[14];
    mach::Port ports[14];
    uint32_t count = 14;
    const uint32_t both = mach::kExcMaskBadAccess | mach::kExcMaskArithmetic;
    ASSERT_EQ(mach::swapExceptionPorts(mach::taskSelf(), both, first.name, mach::kExceptionDefault, 5, masks,
                                       &count, ports, behaviors, flavors),
              mach::kKernSuccess);
    EXPECT_EQ(count, 0u) << "nothing was set before";
    count = 14;
    ASSERT_EQ(mach::swapExceptionPorts(mach::taskSelf(), both | mach::kExcMaskGuard, second.name, 1, 13,
                                       masks, &count, ports, behaviors, flavors),
              mach::kKernSuccess);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(masks[0], both);
    EXPECT_EQ(ports[0], first.name);
    EXPECT_EQ(flavors[0], 5u);
    EXPECT_EQ(mach::exceptionPortFor(mach::kExcGuard), second.name);

    count = 14;
    EXPECT_EQ(
        mach::swapExceptionPorts(0x999, both, second.name, 1, 13, masks, &count, ports, behaviors, flavors),
        mach::kKernInvalidArgument)
        << "another task";
    mach::Port receiveOnly = mach::kPortNull;
    ASSERT_EQ(mach::allocatePort(&receiveOnly), mach::kKernSuccess);
    EXPECT_EQ(mach::setExceptionPorts(mach::taskSelf(), both, receiveOnly, 1, 13), mach::kKernInvalidRight);
    mach::destroyPort(receiveOnly);
    mach::resetExceptionPortsForTesting();
}

TEST(MachExceptionPorts, ARaisedExceptionWaitsForTheHandlersReply) {
    mach::resetExceptionPortsForTesting();
    const int64_t codes[2] = {1, 0x20};
    EXPECT_EQ(mach::raiseException(mach::kExcBadAccess, codes, 2), mach::kKernFailure)
        << "no port, no handler";

    OwnedPort handler;
    ASSERT_EQ(mach::setExceptionPorts(mach::taskSelf(), mach::kExcMaskBadAccess, handler.name, 1, 13),
              mach::kKernSuccess);
    std::thread server([&] {
        mach::ExceptionRequest request{};
        ASSERT_EQ(mach::receive(&request.header, sizeof(request), handler.name), mach::kMsgSuccess);
        EXPECT_EQ(request.exception, mach::kExcBadAccess);
        EXPECT_EQ(request.codeCount, 2u);
        const int64_t secondCode = request.codes[1]; // the record is packed: read it by value
        EXPECT_EQ(secondCode, 0x20);
        EXPECT_EQ(request.task.name, mach::taskSelf());
        EXPECT_EQ(request.header.id, mach::kExceptionRaiseRequestId);
        mach::ExceptionReply reply{};
        reply.header.bits = request.header.bits & 0x1F;
        reply.header.size = sizeof(reply);
        reply.header.remotePort = request.header.remotePort;
        reply.header.id = request.header.id + 100;
        reply.returnCode = 42;
        EXPECT_EQ(mach::send(&reply.header), mach::kMsgSuccess);
    });
    EXPECT_EQ(mach::raiseException(mach::kExcBadAccess, codes, 2), 42);
    server.join();
    mach::resetExceptionPortsForTesting();
}

} // namespace
