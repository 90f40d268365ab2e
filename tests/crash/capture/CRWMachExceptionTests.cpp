// The exception server on the exception-port stand-in: a request from another task is refused and
// leaves no record; a valid one is recorded with the whole process, answered with success, and
// leaves the previous exception ports and signal handlers in place.
#include "crash/capture/CRWMachException.h"
#include "crash/capture/CRWSignal.h"
#include "crash/capture/CRWThreadStopper.h"
#include "tests/crash/capture/CaptureTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

namespace mach = plat::mach;
using capturetest::CaptureContext;
using capturetest::ContextOptions;

void previousSegvHandler(int) {}

class CRWMachExceptionServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        mach::resetExceptionPortsForTesting();
        // A previous exception port and a previous signal handler, which the server must restore.
        ASSERT_EQ(mach::allocatePort(&previousPort), mach::kKernSuccess);
        ASSERT_EQ(mach::insertSendRight(previousPort), mach::kKernSuccess);
        ASSERT_EQ(mach::setExceptionPorts(mach::taskSelf(), mach::kExcMaskBadAccess, previousPort,
                                          mach::kExceptionDefault, mach::kThreadStateNone),
                  mach::kKernSuccess);
        struct sigaction action {};
        action.sa_handler = previousSegvHandler;
        sigaction(SIGSEGV, &action, &savedSegv);
        sigaction(SIGBUS, nullptr, &savedBus);
        context = std::make_unique<CaptureContext>(ContextOptions{.handlers = true});
        ASSERT_TRUE(context->started());
    }
    void TearDown() override {
        context.reset();
        sigaction(SIGSEGV, &savedSegv, nullptr);
        mach::destroyPort(previousPort);
        mach::resetExceptionPortsForTesting();
    }

    mach::Port previousPort = mach::kPortNull;
    struct sigaction savedSegv {};
    struct sigaction savedBus {};
    std::unique_ptr<CaptureContext> context;
};

TEST_F(CRWMachExceptionServerTest, RegistersForTheCrashExceptionsAndKeepsThePreviousPort) {
    const CRWMachExceptionPart& part = _crwContext.readonly->machException;
    EXPECT_EQ(part.mask, 4174u);
    EXPECT_EQ(mach::exceptionPortFor(mach::kExcBadAccess), part.port);
    EXPECT_EQ(mach::exceptionPortFor(mach::kExcGuard), part.port);
    ASSERT_EQ(part.originalPorts.count, 1u);
    EXPECT_EQ(part.originalPorts.ports[0], previousPort);
    EXPECT_EQ(part.originalPorts.masks[0], mach::kExcMaskBadAccess);
    EXPECT_NE(context->logText().find("original 0x"), std::string::npos);
}

TEST_F(CRWMachExceptionServerTest, ARequestFromAnotherTaskIsRefusedAndNotRecorded) {
    const int64_t codes[2] = {1, 0x10};
    EXPECT_EQ(mach::raiseException(mach::kExcBadAccess, codes, 2, mach::threadSelf(), 0x999),
              mach::kKernFailure);
    EXPECT_FALSE(std::filesystem::exists(context->file(CRWReportMachExceptionFile)));
    EXPECT_NE(context->logText().find("Mach exception task mis-match, returning failure"), std::string::npos);
    EXPECT_EQ(mach::exceptionPortFor(mach::kExcBadAccess), _crwContext.readonly->machException.port)
        << "still registered";
}

TEST_F(CRWMachExceptionServerTest, AValidExceptionIsRecordedAnsweredAndHandedBack) {
    // The raising thread is read by the stop signal: the waits for it are the test's.
    const capturetest::PatientCrashWaits patient;
    const int64_t codes[2] = {1, 0x10};
    EXPECT_EQ(mach::raiseException(mach::kExcBadAccess, codes, 2), mach::kKernSuccess);

    const auto path = context->file(CRWReportMachExceptionFile);
    const plat::Object exception = capturetest::section(path, "mach_exception");
    EXPECT_EQ(exception["exception"].number().int64Value(), 1);
    EXPECT_EQ(exception["codes"], plat::Object(plat::Object::Array{plat::Object(1), plat::Object(16)}));
    EXPECT_EQ(exception["name"].string(), "EXC_BAD_ACCESS");
    EXPECT_EQ(exception["code_name"].string(), "KERN_INVALID_ADDRESS");
    EXPECT_EQ(exception["original_ports"].number().int64Value(), 1);
    // The raising thread is the crashed one; it was stopped while the server recorded it.
    const plat::Object threads = capturetest::section(path, "threads");
    size_t crashed = 0;
    for (const plat::Object& thread : threads.array())
        if (thread["crashed"] == plat::Object(true)) {
            ++crashed;
            EXPECT_GT(thread["registers"]["rip"].number().uint64Value(), 4096u);
        }
    EXPECT_EQ(crashed, 1u);
    for (const char* name : {"runtime", "dispatch_queue_names", "thread_names", "process_stats", "storage"})
        EXPECT_FALSE(capturetest::section(path, name).isAbsent()) << name;

    // Handed back: the previous port for bad access, none for the rest, the previous signal handler.
    EXPECT_EQ(mach::exceptionPortFor(mach::kExcBadAccess), previousPort);
    EXPECT_EQ(mach::exceptionPortFor(mach::kExcArithmetic), mach::kPortNull);
    struct sigaction current {};
    sigaction(SIGSEGV, nullptr, &current);
    EXPECT_EQ(current.sa_handler, previousSegvHandler);
    sigaction(SIGBUS, nullptr, &current);
    EXPECT_EQ(current.sa_handler, savedBus.sa_handler) << "as it was before crash reporting started";
}

TEST(CRWMachExceptionNames, CodesNameTheKindOfBadAccess) {
    const char* name = nullptr;
    const char* codeName = nullptr;
    CRWMachExceptionNameLookup(mach::kExcBadAccess, 2, &name, &codeName);
    EXPECT_STREQ(name, "EXC_BAD_ACCESS");
    EXPECT_STREQ(codeName, "KERN_PROTECTION_FAILURE");
    CRWMachExceptionNameLookup(mach::kExcBadAccess, 7, &name, &codeName);
    EXPECT_EQ(codeName, nullptr);
    CRWMachExceptionNameLookup(mach::kExcBreakpoint, 1, &name, &codeName);
    EXPECT_STREQ(name, "EXC_BREAKPOINT");
    CRWMachExceptionNameLookup(99, 1, &name, &codeName);
    EXPECT_EQ(name, nullptr);
}

} // namespace
