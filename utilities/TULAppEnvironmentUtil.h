// Facts about the process environment that the library code reports: platform names, the
// operating-system version, the hardware model and how the application was distributed. All
// class methods are thread-safe; the costly facts are computed once per process.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

class TULAppEnvironmentUtil {
public:
    // The application came from the store: its executable is encrypted and its receipt is not a
    // sandbox receipt. Never on this platform's ELF executables.
    static bool isFromAppStore();
    // The store receipt is a sandbox receipt, unless the Info key
    // "TesseraAppStoreReceiptURLCheckEnabled" is a number whose value is false.
    static bool isAppStoreReceiptSandbox();
    static bool isSimulator() { return false; }
    static bool isAppExtension() { return false; }
    // A kernel entry by dotted name ("hw.model"); none when it is missing or empty.
    static std::optional<std::string> getSysctlEntry(const std::string& name);
    // The hardware model, else the machine architecture.
    static std::string deviceModel();
    // The hardware model alone; none when the firmware reports none.
    static std::optional<std::string> deviceSimulatorModel();
    // "major.minor", with ".patch" only when the patch number is not 0.
    static std::string systemVersion();
    static std::string applePlatform() { return "macos"; }
    static std::string appleDevicePlatform() { return applePlatform(); }
    static std::string deploymentType() { return "swiftpm"; }

    // The sandbox decision from its two inputs: the Info value (absent when unset) and the
    // receipt location (none when there is no receipt).
    static bool receiptIsSandbox(const plat::Object& receiptCheckEnabled,
                                 const std::optional<std::string>& receiptPath);
    // The store decision from the encrypted flag and the sandbox answer.
    static bool fromAppStore(bool encrypted, bool receiptSandbox) {
        return !isSimulator() && encrypted && !receiptSandbox;
    }

    // Test hook: answer `value` from isFromAppStore (none restores the real answer).
    static void overrideFromAppStoreForTesting(std::optional<bool> value);
};

// Whether the running executable is an encrypted Mach-O executable. Linux executables are ELF
// and answer false.
bool IsAppEncrypted();
// The same test on the bytes of an image's header and load commands: true only for an executable
// whose encryption command carries a non-zero identifier.
bool IsImageEncrypted(std::span<const uint8_t> image);
