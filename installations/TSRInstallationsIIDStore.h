// The legacy instance identity that an older identity library left on the machine: a key-pair
// marker in a property list under Application Support and an RSA key pair in the keychain. Its
// identifier is derived from the public key; the default app's first installation takes it over
// and deletes it with the installation. Work runs on a global utility queue; promise callbacks on
// the promise library's default queue. Thread-safe; written only by the older library.
#pragma once

#include "promises/Promise.h"

#include <filesystem>
#include <optional>
#include <string>

inline constexpr const char* kTSRInstallationsIIDKeyPairMarker = "|S|cre";
inline constexpr const char* kTSRInstallationsIIDPublicKeyTagPrefix = "com.tessera.iid.keypair.public-";
inline constexpr const char* kTSRInstallationsIIDPrivateKeyTagPrefix = "com.tessera.iid.keypair.private-";

class TSRInstallationsIIDStore {
public:
    // The legacy identifier (11 characters); rejected when there is no legacy identity: no marker,
    // or no (or empty) public key. A marker file that is not the user's own, that others may
    // write, or a link (paths::readOwnFile) rejects with an error (code 0) naming it.
    promises::Promise<std::string> existingIID() const;
    // Removes the marker and both keys; missing ones count as removed. A failed write of the
    // property list rejects with its error, a keychain failure with a keychain error (code 1), a
    // refused marker file as existingIID does, before anything is removed.
    promises::Promise<promises::Void> deleteExistingIID() const;

    // "<Application Support>/Tessera/TesseraLegacyIdentity/com.tessera.iid-keypair.plist".
    static std::filesystem::path keyPairPlistPath();
    // A key's application tag: the prefix followed by the main bundle's identifier.
    static std::string keyTag(const std::string& prefix);
    // The identifier of a public key's bytes: the first 8 bytes of their SHA-1, the first byte's
    // high half set to 0111, in URL-safe Base64 without padding.
    static std::string IIDWithPublicKeyData(const std::string& publicKeyData);
};
