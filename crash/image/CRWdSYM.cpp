#include "crash/image/CRWdSYM.h"

#include "platform/foundation/Bundle.h"

#include <algorithm>
#include <vector>

namespace {

std::optional<std::string> infoString(const plat::Bundle& bundle, const char* key) {
    const plat::Object value = bundle.objectForInfoDictionaryKey(key);
    if (!value.isString()) return std::nullopt;
    return value.string();
}

} // namespace

std::shared_ptr<CRWdSYM> CRWdSYM::dSYMWithURL(const std::filesystem::path& url) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::exists(url, error) || !fs::exists(url / "Contents" / "Info.plist", error)) return nullptr;
    const fs::path dwarf = url / "Contents" / "Resources" / "DWARF";
    if (!fs::is_directory(dwarf, error)) return nullptr;
    // The listing's order is the file system's; take the first name in order so the choice does
    // not depend on it.
    std::vector<fs::path> entries;
    for (const fs::directory_entry& entry : fs::directory_iterator(dwarf, error))
        entries.push_back(entry.path());
    if (entries.empty()) return nullptr;
    std::sort(entries.begin(), entries.end());
    std::shared_ptr<CRWdSYM> symbols(new CRWdSYM);
    symbols->bundle_ = std::make_unique<plat::Bundle>(url / "Contents");
    symbols->executable_ = entries.front();
    symbols->binary_ = CRWMachOBinary::MachOBinaryWithPath(entries.front().string());
    if (!symbols->binary_) return nullptr;
    return symbols;
}

CRWdSYM::~CRWdSYM() = default;

std::optional<std::string> CRWdSYM::bundleIdentifier() const {
    std::optional<std::string> identifier = bundle_->bundleIdentifier();
    static const std::string kPrefix = "com.apple.xcode.dsym.";
    if (identifier && identifier->rfind(kPrefix, 0) == 0) identifier->erase(0, kPrefix.size());
    return identifier;
}

std::optional<std::string> CRWdSYM::bundleVersion() const {
    return infoString(*bundle_, "CFBundleVersion");
}

std::optional<std::string> CRWdSYM::shortBundleVersion() const {
    return infoString(*bundle_, "CFBundleShortVersionString");
}
