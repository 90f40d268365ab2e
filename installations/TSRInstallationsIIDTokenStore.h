// The legacy default token that the older identity library kept for the application: a
// generic-password keychain item (generic attribute "com.tessera.iid-tokens", account = the
// bundle identifier, service "<sender id>:*") holding a keyed archive of a token-info object. Read
// only; work runs on a global utility queue. Thread-safe.
#pragma once

#include "platform/foundation/SecureCoding.h"
#include "promises/Promise.h"

#include <memory>
#include <string>

// Stands in for the older library's token-info class when its archive is read: only "token".
class TSRInstallationsIIDTokenInfo final : public plat::SecureCoding {
public:
    static constexpr const char* kClassName = "TSRInstallationsIIDTokenInfo";
    // The class name the older library archived its token info under.
    static constexpr const char* kLegacyClassName = "TSRLegacyIdentityTokenInfo";

    const std::string& token() const { return token_; }

    std::string className() const override { return kClassName; }
    // Writes nothing: this library never stores legacy tokens.
    void encodeWithCoder(plat::KeyedArchiver&) const override {}
    static std::shared_ptr<TSRInstallationsIIDTokenInfo> initWithCoder(plat::KeyedUnarchiver& coder);
    // How the unarchiver finds this class under the older library's class name.
    static plat::SecureCodingClass legacyClass();

private:
    std::string token_;
};

class TSRInstallationsIIDTokenStore {
public:
    explicit TSRInstallationsIIDTokenStore(std::string senderID) : senderID_(std::move(senderID)) {}

    // The legacy token (non-empty). Rejected with the keychain's error when the item cannot be
    // read, and with the corrupted-data error (or the unarchiver's) when there is no item, its
    // archive does not open or holds no token.
    promises::Promise<std::string> existingIIDDefaultToken() const;

    const std::string& senderID() const { return senderID_; }

private:
    std::string senderID_;
};
