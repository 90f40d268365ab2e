// A debug-symbol bundle: a folder with "Contents/Info.plist" and the symbol binary in
// "Contents/Resources/DWARF". Not for crash time.
#pragma once

#include "crash/image/CRWMachOBinary.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace plat {
class Bundle;
}

class CRWdSYM {
public:
    // None unless the path exists, opens as a bundle (its Contents hold an Info.plist), its
    // "Contents/Resources/DWARF" is a folder and the first file listed there maps as Mach-O.
    static std::shared_ptr<CRWdSYM> dSYMWithURL(const std::filesystem::path& url);
    ~CRWdSYM();

    // The bundle's identifier without a leading "com.apple.xcode.dsym."; none without one.
    std::optional<std::string> bundleIdentifier() const;
    std::optional<std::string> bundleVersion() const;      // "CFBundleVersion"
    std::optional<std::string> shortBundleVersion() const; // "CFBundleShortVersionString"
    const std::filesystem::path& executableURL() const { return executable_; }
    std::string executablePath() const { return executable_.string(); }
    void enumerateUUIDs(const std::function<void(const std::string&, const std::string&)>& visit) const {
        binary_->enumerateUUIDs(visit);
    }
    const std::shared_ptr<CRWMachOBinary>& binary() const { return binary_; }
    const plat::Bundle& bundle() const { return *bundle_; }

private:
    CRWdSYM() = default;
    std::unique_ptr<plat::Bundle> bundle_;
    std::filesystem::path executable_;
    std::shared_ptr<CRWMachOBinary> binary_;
};

// Where a symbol file came from. Only the URL is set here.
class CRWCodeMapping {
public:
    static std::shared_ptr<CRWCodeMapping> mappingWithURL(const std::filesystem::path& url) {
        return std::make_shared<CRWCodeMapping>(url);
    }
    explicit CRWCodeMapping(std::filesystem::path url) : url_(std::move(url)) {}
    const std::filesystem::path& URL() const { return url_; }
    int64_t source() const { return source_; }
    const std::string& sourceName() const { return sourceName_; }

private:
    std::filesystem::path url_;
    int64_t source_ = 0;
    std::string sourceName_;
};
