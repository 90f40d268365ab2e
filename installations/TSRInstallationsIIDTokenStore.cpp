#include "installations/TSRInstallationsIIDTokenStore.h"

#include "core/TSRBundleUtil.h"
#include "installations/TSRInstallationsCoding.h"
#include "installations/TSRInstallationsErrorUtil.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/security/SecItem.h"
#include "utilities/TULKeychainUtils.h"

using promises::Promise;

std::shared_ptr<TSRInstallationsIIDTokenInfo>
TSRInstallationsIIDTokenInfo::initWithCoder(plat::KeyedUnarchiver& coder) {
    auto info = std::make_shared<TSRInstallationsIIDTokenInfo>();
    info->token_ = TSRInstallationsDecodeString(coder, "token");
    return info;
}

plat::SecureCodingClass TSRInstallationsIIDTokenInfo::legacyClass() {
    return plat::SecureCodingClass{kLegacyClassName,
                                   [](plat::KeyedUnarchiver& coder) -> std::shared_ptr<plat::SecureCoding> {
                                       return initWithCoder(coder);
                                   }};
}

Promise<std::string> TSRInstallationsIIDTokenStore::existingIIDDefaultToken() const {
    return Promise<std::string>(
        plat::DispatchQueue::global(plat::QoS::Utility), [senderID = senderID_]() -> std::string {
            plat::Object::Dict query{
                {plat::kSecClass, plat::Object(plat::kSecClassGenericPassword)},
                {plat::kSecAttrGeneric, plat::Object(plat::toData("com.tessera.iid-tokens"))},
                {plat::kSecAttrService, plat::Object(senderID + ":*")},
                {plat::kSecReturnData, plat::Object(true)}};
            if (std::optional<std::string> bundleID = TSRBundleUtil::mainBundle()->bundleIdentifier())
                query[plat::kSecAttrAccount] = plat::Object(*bundleID);
            std::optional<plat::Error> error;
            std::optional<plat::Data> data = TULKeychainUtils::getItemWithQuery(
                TULKeychainUtils::multiplatformQueryWithQuery(query), &error);
            if (error) throw *error;
            if (!data) throw TSRInstallationsErrorUtil::corruptedIIDTokenData();
            plat::Error archiveError;
            auto info = std::static_pointer_cast<TSRInstallationsIIDTokenInfo>(
                plat::KeyedUnarchiver::unarchivedObjectOfClass(TSRInstallationsIIDTokenInfo::legacyClass(),
                                                               *data, &archiveError));
            if (!info)
                throw archiveError.domain.empty() ? TSRInstallationsErrorUtil::corruptedIIDTokenData()
                                                  : archiveError;
            if (info->token().empty()) throw TSRInstallationsErrorUtil::corruptedIIDTokenData();
            return info->token();
        });
}
