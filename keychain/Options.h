// The settings a Keychain carries, and the two builders that turn them into the dictionaries of
// the SecItem calls: the search query and the attributes of an item to add or update. Plain value
// data; only `itemAttributes` calls the platform (the access-control constructor).
#pragma once

#include "keychain/AuthenticationPolicy.h"
#include "keychain/KeychainEnums.h"
#include "platform/foundation/URL.h"
#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <optional>
#include <string>
#include <utility>

namespace keychain {

struct Options {
    ItemClass itemClass = ItemClass::genericPassword;
    std::string service;
    std::optional<std::string> accessGroup;
    // Set, together with protocolType, exactly for internet passwords.
    std::optional<plat::URL> server;
    std::optional<ProtocolType> protocolType;
    AuthenticationType authenticationType = AuthenticationType::default_;
    Accessibility accessibility = Accessibility::afterFirstUnlock;
    std::optional<AuthenticationPolicy> authenticationPolicy;
    bool synchronizable = false;
    std::optional<std::string> label;
    std::optional<std::string> comment;
    std::optional<std::string> authenticationPrompt;
    std::optional<AuthenticationUI> authenticationUI;
    // Any shared object; a plat::LAContext in practice.
    std::optional<plat::Opaque> authenticationContext;
    // Extra attributes, merged over the built ones by the store's writes.
    plat::Object::Dict attributes;

    // The search query: class, access group, synchronizable (the "any" value when ignoring it, else
    // the option), service or server/port/protocol/authentication type, prompt and context.
    plat::Object::Dict query(bool ignoringAttributeSynchronizable = true) const;

    // The attributes of an item to add (with a key: the query plus the account) or the changes of
    // an update (without one): value, label, comment, protection and a definite synchronizable
    // flag. When an access-control object cannot be made, returns what was built so far with the
    // error.
    std::pair<plat::Object::Dict, std::optional<plat::Error>>
    itemAttributes(const std::optional<std::string>& key, const plat::Data& value) const;
};

} // namespace keychain
