// Facts about the running application that reports carry, read from the main bundle's information
// dictionary. Thread-safe; start-up and queue-side code only.
#pragma once

#include "platform/runtime/RuntimeTypes.h"

#include <functional>
#include <optional>
#include <string>

// The bundle identifier with every "/" replaced by "_" ("" when there is none).
std::string CRWApplicationGetBundleIdentifier();
// "com.tessera.crashwatch." followed by the platform.
std::string CRWApplicationGetSDKBundleID();
// "mac".
std::string CRWApplicationGetPlatform();
// The environment utility's platform name ("macos").
std::string CRWApplicationGetTesseraPlatform();
// "CFBundleVersion" and "CFBundleShortVersionString" ("" when absent).
std::string CRWApplicationGetBundleVersion();
std::string CRWApplicationGetShortBundleVersion();
// "CFBundleDisplayName", else "CFBundleName", else the bundle version.
std::string CRWApplicationGetName();
// Whether a store receipt lies in the bundle ("_MASReceipt/receipt").
bool CRWApplicationHasAppStoreReceipt();
// 4 with a store receipt, else 1.
int CRWApplicationInstallationSource();
// The "NSExtensionPointIdentifier" of the "NSExtension" dictionary; none (a malformed entry is
// logged) otherwise.
std::optional<std::string> CRWApplicationExtensionPointIdentifier();
// Runs `block` as one activity of the process that should not be cut short. This platform has no
// sudden-termination switch, so it runs the block as it is.
void CRWApplicationActivity(unsigned long long options, const std::string& reason,
                            const std::function<void()>& block);
// The shared application object, found through the class named "NSApplication" (none when no
// such class answers "+sharedApplication").
plat::rt::Id CRWApplicationSharedInstance();
// The current locale identifier ("en_GB"; "en_US_POSIX" for the C locale).
std::string CRWApplicationLocaleIdentifier();
