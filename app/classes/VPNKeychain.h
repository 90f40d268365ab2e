// Hands the tunnel profile a persistent reference to its password: the keychain item (service,
// account) is found, added or brought up to date so that it holds exactly the given bytes. Keeps no
// state. Every failure throws a plat::Error of the domain "NSOSStatusErrorDomain" whose code is the
// keychain status; a reply without the expected reference or data throws errSecDecode.
#pragma once

#include "platform/object/Object.h"

#include <string>

class VPNKeychain {
public:
    VPNKeychain() = delete;

    static constexpr const char* errorDomain = "NSOSStatusErrorDomain";

    // The persistent reference of the generic-password item (service, account), whose data is made
    // equal to `password`. Throws plat::Error.
    static plat::Data persistentReferenceFor(const std::string& service, const std::string& account,
                                             const plat::Data& password);

    // The two steps behind persistentReferenceFor: adding a new item, and bringing the item that the
    // query found (`copyResult`, its reply with reference and data) up to date.
    static plat::Data persistentReferenceByAdding(const std::string& service, const std::string& account,
                                                  const plat::Data& password);
    static plat::Data persistentReferenceByUpdating(const plat::Object& copyResult,
                                                    const std::string& service, const std::string& account,
                                                    const plat::Data& password);
};
