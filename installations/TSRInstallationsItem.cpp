#include "installations/TSRInstallationsItem.h"

#include "installations/TSRInstallationsErrorUtil.h"
#include "installations/TSRInstallationsStoredItem.h"
#include "platform/foundation/Base64.h"
#include "platform/security/UUID.h"

#include <algorithm>
#include <array>
#include <vector>

void TSRInstallationsItem::updateWithStoredItem(const TSRInstallationsStoredItem& item) {
    tesseraInstallationID_ = item.tesseraInstallationID();
    refreshToken_ = item.refreshToken();
    authToken_ = item.authToken();
    registrationStatus_ = item.registrationStatus();
    IIDDefaultToken_ = item.IIDDefaultToken();
}

std::shared_ptr<TSRInstallationsStoredItem> TSRInstallationsItem::storedItem() const {
    auto item = std::make_shared<TSRInstallationsStoredItem>();
    item->setTesseraInstallationID(tesseraInstallationID_);
    item->setRefreshToken(refreshToken_);
    item->setAuthToken(authToken_);
    item->setRegistrationStatus(registrationStatus_);
    item->setIIDDefaultToken(IIDDefaultToken_);
    return item;
}

bool TSRInstallationsItem::isValid(std::optional<plat::Error>* error) const {
    std::vector<std::string> problems;
    if (appID_.empty()) problems.emplace_back("`appID` must not be empty");
    if (tesseraAppName_.empty()) problems.emplace_back("`tesseraAppName` must not be empty");
    if (tesseraInstallationID_.empty()) problems.emplace_back("`tesseraInstallationID` must not be empty");
    switch (registrationStatus_) {
    case TSRInstallationsRegistrationStatusUnregistered:
        break;
    case TSRInstallationsRegistrationStatusRegistered:
        if (refreshToken_.empty())
            problems.emplace_back("registered installation must have non-empty `refreshToken`");
        if (!authToken_ || authToken_->token().empty())
            problems.emplace_back("registered installation must have non-empty `authToken.token`");
        if (!authToken_ || !authToken_->expirationDate())
            problems.emplace_back("registered installation must have non-empty `authToken.expirationDate`");
        break;
    default:
        // Any status the record does not know is as unusable as "unknown".
        problems.emplace_back("invalid `registrationStatus`");
        break;
    }
    if (problems.empty()) return true;
    std::string joined;
    for (const auto& problem : problems)
        joined += (joined.empty() ? "" : ", ") + problem;
    TSRInstallationsErrorUtil::TSRInstallationsItemSetErrorToPointer(
        TSRInstallationsErrorUtil::installationsErrorWithCode(
            TSRInstallationsErrorCodeUnknown, "TSRInstallationsItem validation errors: " + joined,
            std::nullopt),
        error);
    return false;
}

std::string TSRInstallationsItem::generateTID() {
    const plat::UUID::Bytes uuid = plat::UUID().bytes();
    std::array<uint8_t, 17> bytes{};
    // The prefix 0111 in the high bits makes the first Base64 character one of c, d, e and f.
    bytes[0] = static_cast<uint8_t>(0x70 | (uuid[15] & 0x0F));
    std::copy(uuid.begin(), uuid.end(), bytes.begin() + 1);
    std::string text = plat::base64Encode(std::span<const uint8_t>(bytes.data(), bytes.size()));
    std::replace(text.begin(), text.end(), '/', '_');
    std::replace(text.begin(), text.end(), '+', '-');
    return text.substr(0, 22);
}
