// The installation record, its archived form and the error helpers, without a service.
#include "installations/TSRInstallationsErrorUtil.h"
#include "installations/TSRInstallationsHTTPError.h"
#include "installations/TSRInstallationsItem.h"
#include "installations/TSRInstallationsStoredItem.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/net/URLError.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using Util = TSRInstallationsErrorUtil;

TSRInstallationsItem registeredItem() {
    TSRInstallationsItem item("1:2:ios:3", "__TSRAPP_DEFAULT");
    item.setTesseraInstallationID("cTIDcTIDcTIDcTIDcTIDcT");
    item.setRefreshToken("refresh");
    item.setAuthToken(std::make_shared<const TSRInstallationsStoredAuthToken>(
        TSRInstallationsAuthTokenStatusTokenReceived, "token", plat::Date{1'800'000'000.5}));
    item.setRegistrationStatus(TSRInstallationsRegistrationStatusRegistered);
    item.setIIDDefaultToken("legacy");
    return item;
}

TEST(InstallationsRecord, GeneratedIdentifiersAreUrlSafeAndStartWithCToF) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string tid = TSRInstallationsItem::generateTID();
        ASSERT_EQ(tid.size(), 22u);
        EXPECT_NE(std::string("cdef").find(tid[0]), std::string::npos) << tid;
        EXPECT_EQ(tid.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
                  std::string::npos)
            << tid;
        seen.insert(tid);
    }
    EXPECT_EQ(seen.size(), 200u);
    EXPECT_EQ(TSRInstallationsItem::identifierWithAppID("1:2:ios:3", "__TSRAPP_DEFAULT"),
              "1:2:ios:3__TSRAPP_DEFAULT");
}

TEST(InstallationsRecord, ValidationListsEveryProblem) {
    std::optional<plat::Error> error;
    EXPECT_TRUE(registeredItem().isValid(&error));

    TSRInstallationsItem empty("", "");
    ASSERT_FALSE(empty.isValid(&error));
    EXPECT_EQ(error->domain, kTesseraInstallationsErrorDomain);
    EXPECT_EQ(Util::failureReason(*error),
              "TSRInstallationsItem validation errors: `appID` must not be empty, `tesseraAppName` must not "
              "be empty, "
              "`tesseraInstallationID` must not be empty, invalid `registrationStatus`");

    TSRInstallationsItem tokenless = registeredItem();
    tokenless.setAuthToken(nullptr);
    ASSERT_FALSE(tokenless.isValid(&error));
    EXPECT_EQ(Util::failureReason(*error),
              "TSRInstallationsItem validation errors: registered installation must have non-empty "
              "`authToken.token`, registered installation must have non-empty `authToken.expirationDate`");
    TSRInstallationsItem unknownStatus = registeredItem();
    unknownStatus.setRegistrationStatus(7);
    EXPECT_FALSE(unknownStatus.isValid(nullptr)) << "a status from a damaged archive is as bad as 0";
}

TEST(InstallationsRecord, ArchivedRecordReadsBackWithEveryField) {
    const TSRInstallationsItem item = registeredItem();
    plat::Error error;
    auto data = plat::KeyedArchiver::archivedDataWithRootObject(*item.storedItem(), true, &error);
    ASSERT_TRUE(data) << error.localizedDescription();
    auto stored = plat::KeyedUnarchiver::unarchivedObjectOfClass<TSRInstallationsStoredItem>(*data, &error);
    ASSERT_TRUE(stored) << error.localizedDescription();
    TSRInstallationsItem back("1:2:ios:3", "__TSRAPP_DEFAULT");
    back.updateWithStoredItem(*stored);
    EXPECT_EQ(back.tesseraInstallationID(), item.tesseraInstallationID());
    EXPECT_EQ(back.refreshToken(), "refresh");
    EXPECT_EQ(back.authToken()->token(), "token");
    EXPECT_EQ(back.authToken()->status(), TSRInstallationsAuthTokenStatusTokenReceived);
    EXPECT_EQ(back.authToken()->expirationDate(), item.authToken()->expirationDate());
    EXPECT_EQ(back.registrationStatus(), TSRInstallationsRegistrationStatusRegistered);
    EXPECT_EQ(back.IIDDefaultToken(), "legacy");
}

// Archives of hand-made records: a newer version, and a field of the wrong class.
struct HandMade final : plat::SecureCoding {
    plat::Object tid = plat::Object("cTID");
    int64_t version = 2;
    std::string className() const override { return TSRInstallationsStoredItem::kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override {
        coder.encodeObject(tid, "tesseraInstallationID");
        coder.encodeInt64(1, "registrationStatus");
        coder.encodeObject(plat::Object("from the future"), "newField");
        coder.encodeInt64(version, "storageVersion");
    }
};

TEST(InstallationsRecord, NewerArchivesReadTheKnownFieldsAndWrongClassesFail) {
    HandMade newer;
    auto data = plat::KeyedArchiver::archivedDataWithRootObject(newer, true);
    ASSERT_TRUE(data);
    auto stored = plat::KeyedUnarchiver::unarchivedObjectOfClass<TSRInstallationsStoredItem>(*data);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->tesseraInstallationID(), "cTID");
    EXPECT_EQ(stored->registrationStatus(), 1);

    HandMade wrong;
    wrong.tid = plat::Object(int64_t{42});
    data = plat::KeyedArchiver::archivedDataWithRootObject(wrong, true);
    plat::Error error;
    EXPECT_FALSE(plat::KeyedUnarchiver::unarchivedObjectOfClass<TSRInstallationsStoredItem>(*data, &error));
    EXPECT_NE(error.localizedDescription().find("tesseraInstallationID"), std::string::npos);
}

TEST(InstallationsErrors, HTTPErrorsAreToldApartByClassNotByDomainAndCode) {
    plat::HTTPURLResponse response;
    response.url = "http://127.0.0.1/v1/x";
    response.statusCode = 404;
    const plat::Error http = Util::APIErrorWithHTTPResponse(response, plat::toData("{\"e\":1}"));
    EXPECT_TRUE(Util::isAPIError(http, 404));
    EXPECT_FALSE(Util::isAPIError(http, 500));
    EXPECT_EQ(Util::failureReason(http),
              "The server responded with an error: \n - URL: http://127.0.0.1/v1/x \n - "
              "HTTP status code: 404 \n - Response body: {\"e\":1}");
    const plat::Error lookalike = Util::installationsErrorWithCode(0, std::string("404"), std::nullopt);
    EXPECT_FALSE(Util::isAPIError(lookalike, 404));

    // Archived and read back; without a response it does not decode.
    auto failure = TSRInstallationsHTTPError::fromError(http);
    auto data = plat::KeyedArchiver::archivedDataWithRootObject(*failure, true);
    auto back = plat::KeyedUnarchiver::unarchivedObjectOfClass<TSRInstallationsHTTPError>(*data);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->HTTPResponse().statusCode, 404);
    EXPECT_EQ(plat::toString(back->data()), "{\"e\":1}");
    struct NoResponse final : plat::SecureCoding {
        std::string className() const override { return TSRInstallationsHTTPError::kClassName; }
        void encodeWithCoder(plat::KeyedArchiver& coder) const override {
            coder.encodeObject(plat::Object(plat::toData("body")), "data");
        }
    };
    data = plat::KeyedArchiver::archivedDataWithRootObject(NoResponse(), true);
    EXPECT_FALSE(plat::KeyedUnarchiver::unarchivedObjectOfClass<TSRInstallationsHTTPError>(*data));
}

TEST(InstallationsErrors, ForeignErrorsEnterTheDomainAsUnderlyingErrors) {
    const plat::Error transport =
        plat::URLError::make(plat::URLError::CannotConnectToHost, "http://127.0.0.1:9/");
    const plat::Error wrapped = Util::publicDomainErrorWithError(transport);
    EXPECT_EQ(wrapped.domain, kTesseraInstallationsErrorDomain);
    EXPECT_EQ(wrapped.code, TSRInstallationsErrorCodeUnknown);
    ASSERT_TRUE(Util::underlyingError(wrapped));
    EXPECT_EQ(Util::underlyingError(wrapped)->code, plat::URLError::CannotConnectToHost);
    EXPECT_EQ(
        Util::failureReason(wrapped).rfind("Underlying error: Error Domain=NSURLErrorDomain Code=-1004", 0),
        0u)
        << Util::failureReason(wrapped);
    EXPECT_EQ(Util::publicDomainErrorWithError(wrapped).userInfo, wrapped.userInfo)
        << "already in the domain";
    EXPECT_EQ(Util::keychainErrorWithFunction("SecItemDelete", -25308).code,
              TSRInstallationsErrorCodeKeychain);
    EXPECT_EQ(Util::failureReason(Util::keychainErrorWithFunction("SecItemDelete", -25308)),
              "SecItemDelete (-25308)");
}

} // namespace
