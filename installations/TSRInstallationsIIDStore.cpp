#include "installations/TSRInstallationsIIDStore.h"

#include "core/TSRBundleUtil.h"
#include "installations/TSRInstallationsErrorUtil.h"
#include "platform/foundation/Base64.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"
#include "platform/security/Digest.h"
#include "platform/security/SecItem.h"

#include <array>

using promises::Promise;
using promises::Void;

namespace {

plat::DispatchQueue workQueue() {
    return plat::DispatchQueue::global(plat::QoS::Utility);
}

plat::Object::Dict keyQuery(const std::string& tagPrefix) {
    return {{plat::kSecClass, plat::Object(plat::kSecClassKey)},
            {plat::kSecAttrApplicationTag,
             plat::Object(plat::toData(TSRInstallationsIIDStore::keyTag(tagPrefix)))},
            {plat::kSecAttrKeyType, plat::Object(plat::kSecAttrKeyTypeRSA)}};
}

// The marker file's dictionary; none when the file is missing or is no dictionary. A file that is
// not the user's own, that others may write, a link, or one that cannot be read throws, naming it:
// an identity another user may have left there is neither taken over nor rewritten.
std::optional<plat::Object> keyPairPlist() {
    plat::paths::OwnFile read = plat::paths::readOwnFile(TSRInstallationsIIDStore::keyPairPlistPath());
    switch (read.state) {
    case plat::paths::OwnFile::State::Refused:
    // What could not be read may still hold the user's identity: it is not taken for none.
    case plat::paths::OwnFile::State::Unreadable:
        throw TSRInstallationsErrorUtil::installationsErrorWithCode(TSRInstallationsErrorCodeUnknown,
                                                                    read.problem, std::nullopt);
    case plat::paths::OwnFile::State::TooLarge:
        // Damaged, as a list that does not parse is: there is no identity in it to take over.
    case plat::paths::OwnFile::State::Absent:
        return std::nullopt;
    case plat::paths::OwnFile::State::Read:
        break;
    }
    plat::Object plist = plat::PropertyList::fromBytes(read.bytes);
    if (!plist.isDict()) return std::nullopt;
    return plist;
}

plat::Error noLegacyIdentity() {
    return promises::asError(promises::PromiseError::validationFailure);
}

} // namespace

std::filesystem::path TSRInstallationsIIDStore::keyPairPlistPath() {
    return plat::paths::applicationSupportDir() / "Tessera" / "TesseraLegacyIdentity" /
           "com.tessera.iid-keypair.plist";
}

std::string TSRInstallationsIIDStore::keyTag(const std::string& prefix) {
    return prefix + TSRBundleUtil::mainBundle()->bundleIdentifier().value_or("");
}

std::string TSRInstallationsIIDStore::IIDWithPublicKeyData(const std::string& publicKeyData) {
    const plat::SHA1Digest digest = plat::sha1(publicKeyData);
    std::array<uint8_t, 8> prefix{};
    std::copy(digest.begin(), digest.begin() + prefix.size(), prefix.begin());
    prefix[0] = static_cast<uint8_t>(0x70 | (prefix[0] & 0x0F));
    return plat::base64URLEncode(std::span<const uint8_t>(prefix.data(), prefix.size()));
}

Promise<std::string> TSRInstallationsIIDStore::existingIID() const {
    return Promise<std::string>(workQueue(), []() -> std::string {
        std::optional<plat::Object> plist = keyPairPlist();
        if (!plist || plist->dict().count(kTSRInstallationsIIDKeyPairMarker) == 0) throw noLegacyIdentity();
        plat::Object::Dict query = keyQuery(kTSRInstallationsIIDPublicKeyTagPrefix);
        query[plat::kSecAttrKeyClass] = plat::Object(plat::kSecAttrKeyClassPublic);
        query[plat::kSecReturnData] = plat::Object(true);
        plat::Object data;
        // Without the key's bytes every machine would derive the same identifier from nothing:
        // a missing or empty key means there is no legacy identity.
        if (plat::SecItemCopyMatching(query, &data) != plat::errSecSuccess || !data.isData() ||
            data.data().empty())
            throw noLegacyIdentity();
        return IIDWithPublicKeyData(plat::toString(data.data()));
    });
}

Promise<Void> TSRInstallationsIIDStore::deleteExistingIID() const {
    return Promise<Void>(workQueue(), []() -> Void {
        if (std::optional<plat::Object> plist = keyPairPlist()) {
            plat::Object edited = *plist;
            edited.mutableDict().erase(kTSRInstallationsIIDKeyPairMarker);
            plat::Error error;
            std::optional<std::string> bytes = plat::PropertyList::toBinary(edited, &error);
            if (!bytes) throw error;
            if (!plat::paths::writeFileAtomically(keyPairPlistPath(), *bytes, std::filesystem::perms(0600)))
                throw TSRInstallationsErrorUtil::installationsErrorWithCode(
                    TSRInstallationsErrorCodeUnknown, "Could not write " + keyPairPlistPath().string(),
                    std::nullopt);
        }
        for (const char* prefix :
             {kTSRInstallationsIIDPublicKeyTagPrefix, kTSRInstallationsIIDPrivateKeyTagPrefix}) {
            const plat::OSStatus status = plat::SecItemDelete(keyQuery(prefix));
            if (status != plat::errSecSuccess && status != plat::errSecItemNotFound)
                throw TSRInstallationsErrorUtil::keychainErrorWithFunction("SecItemDelete", status);
        }
        return Void{};
    });
}
