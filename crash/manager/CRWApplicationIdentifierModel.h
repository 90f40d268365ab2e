// What identifies this build of the application to the settings service and the settings cache:
// the running executable's identifier per architecture (its ELF build-id here), a hash of them
// that changes with every new build, the bundle's versions and the install source. Immutable
// after creation; safe from any thread.
#pragma once

#include <map>
#include <memory>
#include <string>

struct CRWSDKVersionTriple {
    int major = 0;
    int minor = 0;
    int patch = 0;
};

class CRWApplicationIdentifierModel {
public:
    // None when the running executable's identifier cannot be read.
    static std::shared_ptr<CRWApplicationIdentifierModel> create();
    // For tests: a model with the given identifiers.
    explicit CRWApplicationIdentifierModel(std::map<std::string, std::string> architectureUUIDMap);

    const std::map<std::string, std::string>& architectureUUIDMap() const { return architectureUUIDMap_; }
    // SHA-1 of the identifiers joined in architecture-name order.
    const std::string& buildInstanceID() const { return buildInstanceID_; }
    std::string bundleID() const;
    std::string displayName() const;
    std::string platform() const;
    std::string buildVersion() const;
    std::string displayVersion() const;
    // "<display version> (<build version>)".
    std::string synthesizedVersion() const;
    int installSource() const;
    // ELF executables carry no SDK version commands, so both stay 0.0.0.
    std::string builtSDKString() const;
    std::string minimumSDKString() const;

private:
    std::map<std::string, std::string> architectureUUIDMap_;
    std::string buildInstanceID_;
    CRWSDKVersionTriple builtSDK_;
    CRWSDKVersionTriple minimumSDK_;
};
