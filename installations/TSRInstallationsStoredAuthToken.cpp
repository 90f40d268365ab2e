#include "installations/TSRInstallationsStoredAuthToken.h"

#include "installations/TSRInstallationsCoding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

void TSRInstallationsStoredAuthToken::encodeWithCoder(plat::KeyedArchiver& coder) const {
    coder.encodeInt64(status_, "status");
    if (!token_.empty()) coder.encodeObject(plat::Object(token_), "token");
    if (expirationDate_) coder.encodeObject(plat::Object(*expirationDate_), "expirationDate");
    coder.encodeInt64(kTSRInstallationsStoredAuthTokenStorageVersion, "storageVersion");
}

std::shared_ptr<TSRInstallationsStoredAuthToken>
TSRInstallationsStoredAuthToken::initWithCoder(plat::KeyedUnarchiver& coder) {
    TSRInstallationsDecodeStorageVersion(coder, kTSRInstallationsStoredAuthTokenStorageVersion, "I-INS004000",
                                         "TSRInstallationsStoredAuthToken was encoded by a newer coder "
                                         "version %ld. Current coder version is %ld. "
                                         "Some auth token data may be lost.");
    auto token = std::make_shared<TSRInstallationsStoredAuthToken>();
    token->status_ = coder.decodeInt64ForKey("status");
    token->token_ = TSRInstallationsDecodeString(coder, "token");
    token->expirationDate_ = TSRInstallationsDecodeDate(coder, "expirationDate");
    return token;
}
