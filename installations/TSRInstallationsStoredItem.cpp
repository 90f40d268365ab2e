#include "installations/TSRInstallationsStoredItem.h"

#include "installations/TSRInstallationsCoding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

void TSRInstallationsStoredItem::encodeWithCoder(plat::KeyedArchiver& coder) const {
    if (!tesseraInstallationID_.empty())
        coder.encodeObject(plat::Object(tesseraInstallationID_), "tesseraInstallationID");
    if (!refreshToken_.empty()) coder.encodeObject(plat::Object(refreshToken_), "refreshToken");
    if (authToken_) coder.encodeObject(std::shared_ptr<const plat::SecureCoding>(authToken_), "authToken");
    coder.encodeInt64(registrationStatus_, "registrationStatus");
    if (!IIDDefaultToken_.empty()) coder.encodeObject(plat::Object(IIDDefaultToken_), "IIDDefaultToken");
    coder.encodeInt64(kTSRInstallationsStoredItemStorageVersion, "storageVersion");
}

std::shared_ptr<TSRInstallationsStoredItem>
TSRInstallationsStoredItem::initWithCoder(plat::KeyedUnarchiver& coder) {
    TSRInstallationsDecodeStorageVersion(coder, kTSRInstallationsStoredItemStorageVersion, "I-INS003000",
                                         "TSRInstallationsStoredItem was encoded by a newer coder version "
                                         "%ld. Current coder version is %ld. Some "
                                         "installation data may be lost.");
    auto item = std::make_shared<TSRInstallationsStoredItem>();
    item->tesseraInstallationID_ = TSRInstallationsDecodeString(coder, "tesseraInstallationID");
    item->refreshToken_ = TSRInstallationsDecodeString(coder, "refreshToken");
    item->authToken_ = coder.decodeObjectOfClass<TSRInstallationsStoredAuthToken>("authToken");
    item->registrationStatus_ = coder.decodeInt64ForKey("registrationStatus");
    item->IIDDefaultToken_ = TSRInstallationsDecodeString(coder, "IIDDefaultToken");
    return item;
}
