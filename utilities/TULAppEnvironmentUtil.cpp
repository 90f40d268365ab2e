#include "utilities/TULAppEnvironmentUtil.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/MachOHeader.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/SystemFacts.h"

#include <atomic>
#include <filesystem>
#include <mutex>

namespace {

// -1: no override; 0 or 1: the answer tests asked for.
std::atomic<int> fromAppStoreOverride{-1};

bool executableIsEncrypted() {
    static const bool encrypted = IsAppEncrypted();
    return encrypted;
}

} // namespace

bool IsImageEncrypted(std::span<const uint8_t> image) {
    auto header = plat::MachOHeader::parse(image);
    if (!header || header->fileType() != plat::MachOHeader::kFileTypeExecute) return false;
    if (header->numberOfCommands() == 0) return false;
    return header->isEncrypted();
}

bool IsAppEncrypted() {
    // The running executable is the only image whose file type can be "executable".
    auto bytes = plat::MachOHeader::readHeaderBytes("/proc/self/exe");
    return bytes && IsImageEncrypted(*bytes);
}

bool TULAppEnvironmentUtil::isFromAppStore() {
    if (int forced = fromAppStoreOverride.load(); forced >= 0) return forced == 1;
    bool encrypted = executableIsEncrypted();
    // The receipt only matters for encrypted builds, so plain builds never read the bundle.
    return encrypted && fromAppStore(encrypted, isAppStoreReceiptSandbox());
}

bool TULAppEnvironmentUtil::receiptIsSandbox(const plat::Object& receiptCheckEnabled,
                                             const std::optional<std::string>& receiptPath) {
    if (receiptCheckEnabled.isNumber() && !receiptCheckEnabled.number().boolValue()) return false;
    if (!receiptPath) return false;
    return std::filesystem::path(*receiptPath).filename() == "sandboxReceipt";
}

std::optional<std::string> TULAppEnvironmentUtil::getSysctlEntry(const std::string& name) {
    return plat::SystemFacts::sysctlEntry(name);
}

// The models are never destroyed: worker queues (settings downloads, events) read them until the
// process has ended.
std::string TULAppEnvironmentUtil::deviceModel() {
    static const std::string* model = [] {
        auto entry = getSysctlEntry("hw.model");
        return new std::string(entry && !entry->empty() ? *entry : plat::SystemFacts::machine());
    }();
    return *model;
}

std::optional<std::string> TULAppEnvironmentUtil::deviceSimulatorModel() {
    static const auto* model = new std::optional<std::string>(getSysctlEntry("hw.model"));
    return *model;
}

std::string TULAppEnvironmentUtil::systemVersion() {
    plat::OperatingSystemVersion v = plat::ProcessInfo::processInfo().operatingSystemVersion();
    std::string text = std::to_string(v.majorVersion) + "." + std::to_string(v.minorVersion);
    if (v.patchVersion != 0) text += "." + std::to_string(v.patchVersion);
    return text;
}

void TULAppEnvironmentUtil::overrideFromAppStoreForTesting(std::optional<bool> value) {
    fromAppStoreOverride.store(value ? (*value ? 1 : 0) : -1);
}

bool TULAppEnvironmentUtil::isAppStoreReceiptSandbox() {
    // This platform's bundles carry no store receipt, so only the Info switch can decide.
    return receiptIsSandbox(
        plat::Bundle::main().objectForInfoDictionaryKey("TesseraAppStoreReceiptURLCheckEnabled"),
        std::nullopt);
}
