#include "app/classes/VPNKeychain.h"

#include "platform/object/Error.h"
#include "platform/security/SecItem.h"

namespace {

[[noreturn]] void fail(plat::OSStatus status) {
    throw plat::Error(VPNKeychain::errorDomain, status);
}

} // namespace

plat::Data VPNKeychain::persistentReferenceFor(const std::string& service, const std::string& account,
                                               const plat::Data& password) {
    plat::Object::Dict query{
        {plat::kSecClass, plat::kSecClassGenericPassword},
        {plat::kSecAttrService, service},
        {plat::kSecAttrAccount, account},
        {plat::kSecReturnPersistentRef, true},
        {plat::kSecReturnData, true},
    };
    plat::Object result;
    plat::OSStatus status = plat::SecItemCopyMatching(query, &result);
    if (status == plat::errSecItemNotFound) return persistentReferenceByAdding(service, account, password);
    if (status != plat::errSecSuccess) fail(status);
    return persistentReferenceByUpdating(result, service, account, password);
}

plat::Data VPNKeychain::persistentReferenceByAdding(const std::string& service, const std::string& account,
                                                    const plat::Data& password) {
    plat::Object::Dict attributes{
        {plat::kSecClass, plat::kSecClassGenericPassword},
        {plat::kSecAttrService, service},
        {plat::kSecAttrAccount, account},
        {plat::kSecValueData, password},
        {plat::kSecReturnPersistentRef, true},
    };
    plat::Object result;
    plat::OSStatus status = plat::SecItemAdd(attributes, &result);
    if (status != plat::errSecSuccess) fail(status);
    // The profile cannot use an empty reference; treat a reply without one as undecodable.
    if (!result.isData() || result.data().empty()) fail(plat::errSecDecode);
    return result.data();
}

plat::Data VPNKeychain::persistentReferenceByUpdating(const plat::Object& copyResult,
                                                      const std::string& service, const std::string& account,
                                                      const plat::Data& password) {
    const plat::Object& reference = copyResult[plat::kSecValuePersistentRef];
    const plat::Object& stored = copyResult[plat::kSecValueData];
    if (!reference.isData() || reference.data().empty() || !stored.isData()) fail(plat::errSecDecode);
    if (stored.data() == password) return reference.data();

    plat::Object::Dict match{
        {plat::kSecClass, plat::kSecClassGenericPassword},
        {plat::kSecAttrService, service},
        {plat::kSecAttrAccount, account},
    };
    plat::Object::Dict change{{plat::kSecValueData, password}};
    if (plat::OSStatus status = plat::SecItemUpdate(match, change); status != plat::errSecSuccess)
        fail(status);
    return reference.data();
}
