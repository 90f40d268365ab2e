// The platform's classes that the runtime holds from the start: the root class "NSObject"
// ("description"), the application class "NSApplication" ("+sharedApplication", "delegate",
// "setDelegate:", the delegate held weakly and observable under "delegate", and "reportException:",
// which logs the exception it is handed), the exception class "NSException" ("name", "reason",
// "callStackReturnAddresses"), and the application delegate protocol "NSApplicationDelegate" with
// its optional methods.
#pragma once

#include "platform/runtime/RuntimeTypes.h"

namespace plat::rt {

inline constexpr const char* kNSObjectClassName = "NSObject";
inline constexpr const char* kNSApplicationClassName = "NSApplication";
inline constexpr const char* kNSApplicationDelegateProtocolName = "NSApplicationDelegate";
inline constexpr const char* kNSExceptionClassName = "NSException";
inline constexpr const char* kReportExceptionSelector = "reportException:";
inline constexpr const char* kReportExceptionTypes = "v24@0:8@16";

// The runtime object of a raised exception: an "NSException" answering "name" and "reason"
// (texts) and "callStackReturnAddresses" (an array of unsigned numbers, innermost first).
Id exceptionObject(const RuntimeException& exception);
// The shared application object ("+sharedApplication" of the class named "NSApplication"); none
// when no such class answers it.
Id sharedApplication();

// Optional instance methods of the delegate protocol, with their type encodings.
inline constexpr const char* kContinueUserActivitySelector =
    "application:continueUserActivity:restorationHandler:";
inline constexpr const char* kContinueUserActivityTypes = "B40@0:8@16@24@?32";
inline constexpr const char* kDidRegisterForRemoteNotificationsSelector =
    "application:didRegisterForRemoteNotificationsWithDeviceToken:";
inline constexpr const char* kDidFailToRegisterForRemoteNotificationsSelector =
    "application:didFailToRegisterForRemoteNotificationsWithError:";
inline constexpr const char* kRemoteNotificationsTypes = "v32@0:8@16@24";
inline constexpr const char* kDidFinishLaunchingSelector = "applicationDidFinishLaunching:";
inline constexpr const char* kOpenURLsSelector = "application:openURLs:";

} // namespace plat::rt
