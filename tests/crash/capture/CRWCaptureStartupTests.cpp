// Capture's part of the crash context's start-up: what is installed without a debugger (and left
// alone with one), the start-up diagnostics, and which signals come back by themselves.
#include "crash/capture/CRWCaptureStartup.h"
#include "crash/capture/CRWException.h"
#include "crash/capture/CRWSignal.h"
#include "crash/record/CRWContext.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/crash/capture/CaptureTestSupport.h"
#include "utilities/TULLogger.h"

#include <gtest/gtest.h>

#include <exception>

namespace {

using capturetest::CaptureContext;
using capturetest::ContextOptions;

bool handlerIsOurs(int signal) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    return (current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == CRWSignalHandler &&
           (current.sa_flags & SA_ONSTACK) != 0;
}

TEST(CRWCaptureStartup, HandlersAndTheAlternateStackAreInstalledAndCheckedClean) {
    // Clean means the application object's exceptions are asked for and hooked as well; without the
    // default the check rightly warns about them.
    plat::UserDefaults::standard().set("NSApplicationCrashOnExceptions", plat::Object(true));
    CaptureContext context(ContextOptions{.handlers = true});
    ASSERT_TRUE(context.started());
    for (int signal : CRWFatalSignals)
        EXPECT_TRUE(handlerIsOurs(signal)) << CRWSignalNameLookup(signal);
    EXPECT_EQ(std::get_terminate(), CRWTerminateHandler);
    // The thread that started crash reporting runs its handlers on the context's stack.
    stack_t current{};
    sigaltstack(nullptr, &current);
    EXPECT_EQ(current.ss_sp, _crwContext.readonly->signalStack);
    EXPECT_EQ(current.ss_size, CRWContextStackSize);

    // The warnings go out through the logger's own queue: whatever start-up or the checks logged
    // is written before the capture ends.
    TULLoggerWaitUntilWritten();
    testing::internal::CaptureStderr();
    CRWSignalCheckHandlers();
    CRWExceptionCheckHandlers();
    TULLoggerWaitUntilWritten();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    plat::UserDefaults::standard().remove("NSApplicationCrashOnExceptions");
}

TEST(CRWCaptureStartup, TheSignalCheckNamesAForeignHandler) {
    CaptureContext context(ContextOptions{.handlers = true});
    ASSERT_TRUE(context.started());
    struct sigaction foreign {};
    foreign.sa_handler = SIG_IGN;
    struct sigaction saved {};
    sigaction(SIGFPE, &foreign, &saved);
    testing::internal::CaptureStderr();
    CRWSignalCheckHandlers();
    const std::string printed = testing::internal::GetCapturedStderr();
    sigaction(SIGFPE, &saved, nullptr);
    EXPECT_NE(printed.find("[Crashwatch] The signal SIGFPE has a non-Crashwatch handler"), std::string::npos)
        << printed;
    EXPECT_EQ(printed.find("SIGSEGV"), std::string::npos);
}

TEST(CRWCaptureStartup, ADebuggerKeepsEveryHandlerOut) {
    struct sigaction before {};
    sigaction(SIGSEGV, nullptr, &before);
    const std::terminate_handler terminateBefore = std::get_terminate();
    testsupport::TempHome home;
    CRWContextInitData data;
    data.setRootPath((home.path() / "report").string());
    std::filesystem::create_directories(home.path() / "report");
    CRWContextStartupHooks hooks = CRWCaptureStartupHooks();
    hooks.debuggerAttached = [] { return true; };
    CRWContextSetStartupHooks(hooks);
    ASSERT_TRUE(CRWContextInitialize(&data));
    CRWContextSetStartupHooks({});
    struct sigaction after {};
    sigaction(SIGSEGV, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    EXPECT_EQ(std::get_terminate(), terminateBefore);
    CRWSignalCheckHandlers();
    const std::string log = testsupport::readFile(home.path() / "report" / "sdk.log");
    EXPECT_NE(log.find("Debugger present - not installing handlers"), std::string::npos);
    EXPECT_NE(log.find("App is attached to a debugger"), std::string::npos);
}

TEST(CRWCaptureStartup, OnlyFaultsOfTheKernelComeBackByThemselves) {
    siginfo_t info{};
    info.si_code = SEGV_MAPERR;
    EXPECT_TRUE(CRWSignalRepeatsOnReturn(SIGSEGV, &info));
    EXPECT_TRUE(CRWSignalRepeatsOnReturn(SIGFPE, &info));
    EXPECT_FALSE(CRWSignalRepeatsOnReturn(SIGTRAP, &info)) << "execution goes on after the trap";
    EXPECT_FALSE(CRWSignalRepeatsOnReturn(SIGABRT, &info));
    info.si_code = SI_USER;
    EXPECT_FALSE(CRWSignalRepeatsOnReturn(SIGSEGV, &info)) << "sent with kill";
    info.si_code = SI_TKILL;
    EXPECT_FALSE(CRWSignalRepeatsOnReturn(SIGBUS, &info)) << "sent with raise";
    EXPECT_FALSE(CRWSignalRepeatsOnReturn(SIGSEGV, nullptr));
}

} // namespace
