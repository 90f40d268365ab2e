// The REST client against the stand-in: what each request carries, which failures are retried,
// identifiers that need escaping, and what its debug lines may show.
#include "tests/installations/InstallationsTestSupport.h"

#include "core/TSRHeartbeatLogger.h"
#include "core/TSRLogger.h"
#include "installations/TSRInstallationsErrorUtil.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/net/URLSession.h"

namespace {

using instest::InstallationsTest;
using standin::InstallationFault;
using Operation = standin::InstallationRegistry::Operation;

std::optional<std::string> header(const standin::RequestLogEntry& entry, const std::string& name) {
    for (const auto& [field, value] : entry.headers)
        if (strcasecmp(field.c_str(), name.c_str()) == 0) return value;
    return std::nullopt;
}

TSRInstallationsItem unregistered(const std::string& tid = "cUnregisteredTID0000001") {
    TSRInstallationsItem item(instest::kAppID, instest::kAppName);
    item.setTesseraInstallationID(tid);
    item.setRegistrationStatus(TSRInstallationsRegistrationStatusUnregistered);
    return item;
}

class APIServiceTest : public InstallationsTest {
protected:
    std::shared_ptr<TSRInstallationsAPIService> service_ = makeAPIService();
};

TEST_F(APIServiceTest, RequestsCarryTheirHeadersBodiesAndRefreshToken) {
    TSRInstallationsItem legacy = unregistered();
    legacy.setIIDDefaultToken("legacy-token");
    const TSRInstallationsItem registered = *valueOf(service_->registerInstallation(legacy));
    EXPECT_EQ(registered.IIDDefaultToken(), "");
    auto registration = requests("POST", "/installations/").at(0);
    EXPECT_EQ(registration.path, "/v1/tenants/velmora-test/installations/");
    EXPECT_EQ(header(registration, "X-Tessera-Api-Key"), instest::kAPIKey);
    EXPECT_EQ(header(registration, "X-Tessera-Bundle-Identifier"), "io.velmora.mac");
    EXPECT_EQ(header(registration, "Content-Type"), "application/json");
    EXPECT_EQ(header(registration, "x-tessera-ins-ios-iid-migration-auth"), "legacy-token");
    EXPECT_FALSE(header(registration, "Authorization"));
    EXPECT_FALSE(header(registration, "X-tessera-client"));
    const plat::Object body = plat::JSONSerialization::jsonObject(registration.body);
    EXPECT_EQ(body, plat::Object(plat::Object::Dict{{"tid", plat::Object("cUnregisteredTID0000001")},
                                                    {"authVersion", plat::Object("INS_v2")},
                                                    {"appId", plat::Object(instest::kAppID)},
                                                    {"sdkVersion", plat::Object("i:3.2.0")}}));

    valueOf(service_->refreshAuthTokenForInstallation(registered));
    auto refresh = requests("POST", "/tokens").at(0);
    EXPECT_EQ(header(refresh, "Authorization"), "INS_v2 " + registered.refreshToken());
    EXPECT_FALSE(header(refresh, "x-tessera-ins-ios-iid-migration-auth"));
    EXPECT_EQ(plat::JSONSerialization::jsonObject(refresh.body)["installation"]["sdkVersion"],
              plat::Object("i:3.2.0"));

    valueOf(service_->deleteInstallation(registered));
    auto deletion = requests("DELETE").at(0);
    EXPECT_EQ(deletion.path,
              "/v1/tenants/velmora-test/installations/" + registered.tesseraInstallationID() + "/");
    EXPECT_EQ(header(deletion, "Authorization"), "INS_v2 " + registered.refreshToken());
    EXPECT_EQ(deletion.body, "{}");
    EXPECT_FALSE(server_.installations().find(instest::kProjectID, registered.tesseraInstallationID()));
}

TEST_F(APIServiceTest, StoredHeartbeatsGoWithTheNextRequestOnly) {
    auto heartbeats = std::make_shared<TSRHeartbeatLogger>("1:9:ios:hb" + std::to_string(::getpid()),
                                                           [] { return std::string("tsr-test/1.0"); });
    heartbeats->log();
    auto service = std::make_shared<TSRInstallationsAPIService>(
        std::make_shared<plat::URLSession>(plat::DispatchQueue::serial("test.hb")), instest::kAPIKey,
        instest::kProjectID, heartbeats, scheduler_);
    valueOf(service->registerInstallation(unregistered("cFirst")));
    valueOf(service->registerInstallation(unregistered("cSecond")));
    auto registrations = requests("POST", "/installations/");
    ASSERT_EQ(registrations.size(), 2u);
    ASSERT_TRUE(header(registrations[0], "X-tessera-client"));
    EXPECT_FALSE(header(registrations[0], "X-tessera-client")->empty());
    EXPECT_FALSE(header(registrations[1], "X-tessera-client"))
        << "the heartbeats were flushed into the first";
}

TEST_F(APIServiceTest, Only500IsTriedOnceMoreAfterASecond) {
    server_.installations().setFault(Operation::Register, *InstallationFault::named("500-once"));
    EXPECT_TRUE(valueOf(service_->registerInstallation(unregistered())));
    EXPECT_EQ(requests("POST", "/installations/").size(), 2u);
    EXPECT_GE(scheduler_.manualClock().wallNow().secondsSince1970 -
                  plat::ManualClock().wallNow().secondsSince1970,
              1.0);

    for (const char* kind : {"500", "503", "429"}) {
        server_.clearRequests();
        server_.installations().setFault(Operation::Register, *InstallationFault::named(kind));
        const plat::Error error = errorOf(service_->registerInstallation(unregistered()));
        EXPECT_TRUE(TSRInstallationsErrorUtil::isAPIError(error, std::stoi(kind))) << kind;
        EXPECT_EQ(requests("POST", "/installations/").size(), std::string(kind) == "500" ? 2u : 1u) << kind;
    }
}

TEST_F(APIServiceTest, ServerIdentifiersAreEscapedAsOnePathSegment) {
    const std::string odd = "fOdd/../tokens?x=1#%zz";
    server_.installations().setNextTID(odd);
    const TSRInstallationsItem registered = *valueOf(service_->registerInstallation(unregistered()));
    EXPECT_EQ(registered.tesseraInstallationID(), odd);
    const TSRInstallationsItem refreshed = *valueOf(service_->refreshAuthTokenForInstallation(registered));
    EXPECT_EQ(refreshed.tesseraInstallationID(), odd);
    auto refresh = requests("POST", "/tokens").at(0);
    EXPECT_EQ(refresh.path, "/v1/tenants/velmora-test/installations/" + odd + "/tokens")
        << "decoded by the server";
    EXPECT_EQ(refresh.query, "") << "nothing of the identifier leaked into the query";
    EXPECT_TRUE(valueOf(service_->deleteInstallation(refreshed)));
    EXPECT_FALSE(server_.installations().find(instest::kProjectID, odd));
}

TEST_F(APIServiceTest, DebugLinesNeverShowTheKeyOrTheTokens) {
    TSRSetLoggerLevelDebug();
    TSRInstallationsItem legacy = unregistered();
    legacy.setIIDDefaultToken("legacy-secret");
    const TSRInstallationsItem registered = *valueOf(service_->registerInstallation(legacy));
    const TSRInstallationsItem refreshed = *valueOf(service_->refreshAuthTokenForInstallation(registered));
    server_.installations().setFault(Operation::Token, *InstallationFault::named("malformed-json"));
    errorOf(service_->refreshAuthTokenForInstallation(registered));
    TSRLoggerResetForTesting();

    const std::vector<std::string> lines = logLines();
    size_t requestLines = 0;
    for (const auto& line : lines) {
        requestLines += line.find("[I-INS001001]") != std::string::npos;
        for (const std::string& secret :
             {std::string(instest::kAPIKey), registered.refreshToken(), registered.authToken()->token(),
              refreshed.authToken()->token(), std::string("legacy-secret"), std::string("rt-cut")})
            EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
    EXPECT_EQ(requestLines, 3u);
}

} // namespace
