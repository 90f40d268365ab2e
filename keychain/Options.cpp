#include "keychain/Options.h"

#include "keychain/Status.h"
#include "platform/security/SecAccessControl.h"
#include "platform/security/SecItem.h"

namespace keychain {

using plat::Object;

Object::Dict Options::query(bool ignoringAttributeSynchronizable) const {
    Object::Dict q;
    q[plat::kSecClass] = rawValue(itemClass);
    if (accessGroup) q[plat::kSecAttrAccessGroup] = *accessGroup;
    q[plat::kSecAttrSynchronizable] =
        ignoringAttributeSynchronizable ? Object(plat::kSecAttrSynchronizableAny) : Object(synchronizable);
    switch (itemClass) {
    case ItemClass::genericPassword:
        q[plat::kSecAttrService] = service;
        break;
    case ItemClass::internetPassword:
        if (server) {
            if (auto host = server->host()) q[plat::kSecAttrServer] = *host;
            if (auto port = server->port()) q[plat::kSecAttrPort] = *port;
        }
        if (protocolType) q[plat::kSecAttrProtocol] = rawValue(*protocolType);
        q[plat::kSecAttrAuthenticationType] = rawValue(authenticationType);
        break;
    }
    if (authenticationPrompt) q[plat::kSecUseOperationPrompt] = *authenticationPrompt;
    if (authenticationContext) q[plat::kSecUseAuthenticationContext] = Object(*authenticationContext);
    return q;
}

std::pair<Object::Dict, std::optional<plat::Error>>
Options::itemAttributes(const std::optional<std::string>& key, const plat::Data& value) const {
    Object::Dict attrs;
    if (key) {
        attrs = query(true);
        attrs[plat::kSecAttrAccount] = *key;
    }
    attrs[plat::kSecValueData] = value;
    if (label) attrs[plat::kSecAttrLabel] = *label;
    if (comment) attrs[plat::kSecAttrComment] = *comment;
    if (authenticationPolicy) {
        std::optional<plat::Error> error;
        Object access = plat::SecAccessControlCreateWithFlags(Object(rawValue(accessibility)),
                                                              authenticationPolicy->rawValue, &error);
        if (access.isAbsent()) return {attrs, error ? *error : Status(Status::unexpectedError).error()};
        attrs[plat::kSecAttrAccessControl] = access;
    } else {
        attrs[plat::kSecAttrAccessible] = rawValue(accessibility);
    }
    attrs[plat::kSecAttrSynchronizable] = synchronizable;
    return {attrs, std::nullopt};
}

} // namespace keychain
