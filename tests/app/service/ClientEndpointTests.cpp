// The endpoint wrappers: paths, authorisation and form fields as the stand-in receives them.
#include "app/network/Client.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/net/URLSession.h"
#include "tests/app/service/StandinFixture.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

using servicetest::Reply;
using servicetest::StandinTest;

namespace {

bool hasAuthorization(const standin::RequestLogEntry& entry) {
    for (const auto& [name, value] : entry.headers)
        if (strcasecmp(name.c_str(), "Authorization") == 0) return true;
    return false;
}

// The form-field names of a multipart body, in body order.
std::vector<std::string> fieldNames(const std::string& body) {
    std::vector<std::string> names;
    std::regex part("Content-Disposition: form-data; name=\"([^\"]*)\"\r\n\r\n");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), part); it != std::sregex_iterator(); ++it)
        names.push_back((*it)[1]);
    return names;
}

std::string fieldValue(const std::string& body, const std::string& name) {
    std::string marker = "name=\"" + name + "\"\r\n\r\n";
    auto start = body.find(marker);
    if (start == std::string::npos) return "<missing>";
    start += marker.size();
    return body.substr(start, body.find("\r\n", start) - start);
}

class ClientEndpoints : public StandinTest {
protected:
    Client& client = Client::shared();
};

} // namespace

TEST_F(ClientEndpoints, GetEndpointsUseTheirPathsAndAuthorisation) {
    signInDemo();
    struct Case {
        std::function<void(Client::Completion)> call;
        std::string path;
        bool auth;
    };
    std::vector<Case> cases = {
        {[&](auto c) { client.userInformation(c); }, "/api/users/me", true},
        {[&](auto c) { client.userIp(c); }, "/api/users/me/ip", true},
        {[&](auto c) { client.userPlans(c); }, "/api/vpn/plans", true},
        {[&](auto c) { client.userCurrentPlan(c); }, "/api/users/me/plan", true},
        {[&](auto c) { client.userRegions(c); }, "/api/users/me/regions", true},
        {[&](auto c) { client.userBestRegions(c); }, "/api/users/me/regions/best", false},
        {[&](auto c) { client.IPSecConfiguration("0", c); }, "/api/config/ipsec/0", true},
        {[&](auto c) { client.openVPNConfiguration("12", c); }, "/api/config/openvpn/12", true},
        {[&](auto c) { client.getDevices(c); }, "/api/devices", true},
    };
    for (const auto& testCase : cases) {
        server_.clearRequests();
        Reply reply;
        testCase.call(reply.get());
        waitFor([&] { return reply.called; });
        auto requests = server_.requests();
        ASSERT_EQ(requests.size(), 1u) << testCase.path;
        EXPECT_EQ(requests[0].method, "GET");
        EXPECT_EQ(requests[0].path, testCase.path);
        EXPECT_EQ(hasAuthorization(requests[0]), testCase.auth) << testCase.path;
        EXPECT_TRUE(reply.onMain);
    }
}

TEST_F(ClientEndpoints, SignInFormCarriesIdentityAndTheStoredDeviceId) {
    setenv("VELMORA_SERIAL_NUMBER", "abc", 1);
    Reply reply;
    client.loginWithEmail("demo@velmora.example", "velmora-demo", reply.post());
    waitFor([&] { return reply.called; });
    auto body = server_.requests().at(0).body;
    auto names = fieldNames(body);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"email", "email_password", "platform", "os", "app_version",
                                     "device_name", "uid"}));
    EXPECT_EQ(fieldValue(body, "uid"), "BA7816BF-8F01-CFEA-4141-40DE5DAE2223");
    EXPECT_EQ(fieldValue(body, "platform"), "macSA");
    EXPECT_EQ(fieldValue(body, "app_version"), "1.0.0"); // the bundle's short version
    EXPECT_EQ(fieldValue(body, "device_name"), client.deviceName());
    EXPECT_FALSE(client.deviceName().empty());
    EXPECT_TRUE(std::regex_match(fieldValue(body, "os"),
                                 std::regex("(0|[1-9][0-9]*)\\.(0|[1-9][0-9]*)\\.(0|[1-9][0-9]*)")))
        << fieldValue(body, "os");
    EXPECT_EQ(reply.status, 200);

    server_.clearRequests();
    Reply signup;
    client.associateUser("new@velmora.example", "secret-1", "CALLER-UID", signup.post());
    waitFor([&] { return signup.called; });
    auto signupBody = server_.requests().at(0).body;
    EXPECT_EQ(fieldNames(signupBody).size(), 7u);
    EXPECT_EQ(fieldValue(signupBody, "uid"), "CALLER-UID");
    EXPECT_EQ(signup.status, 201);
}

TEST_F(ClientEndpoints, OperatingSystemTextAlwaysHasThreeNumbers) {
    plat::ProcessInfo::processInfo().overrideOperatingSystemVersion(plat::OperatingSystemVersion{12, 0, 0});
    Client client(plat::URLSession::shared());
    plat::ProcessInfo::processInfo().overrideOperatingSystemVersion(std::nullopt);
    EXPECT_EQ(client.os(), "12.0.0");
    EXPECT_EQ(client.platform(), "macSA");
}

TEST_F(ClientEndpoints, DeleteDeviceSendsOneEncodedSegmentAndRefusesEmptyIds) {
    signInDemo();
    std::optional<std::optional<plat::Error>> deleted;
    client.deleteDevice("1", [&](std::optional<plat::Error> error) { deleted = error; });
    waitFor([&] { return deleted.has_value(); });
    EXPECT_EQ(*deleted, std::nullopt);
    EXPECT_EQ(server_.requests().at(0).method, "DELETE");
    EXPECT_EQ(server_.requests().at(0).path, "/api/devices/1");
    EXPECT_TRUE(hasAuthorization(server_.requests().at(0)));

    server_.clearRequests();
    // Sent unencoded, the dots would climb to "users/me/delete" and "?" and "#" would cut the id.
    // The stand-in logs the decoded path, so the whole id arriving inside it shows it travelled
    // as one segment.
    std::optional<std::optional<plat::Error>> hostile;
    client.deleteDevice("7/../../users/me/delete?x=1#f", [&](std::optional<plat::Error> e) { hostile = e; });
    waitFor([&] { return hostile.has_value(); });
    EXPECT_EQ(server_.requests().at(0).path, "/api/devices/7/../../users/me/delete?x=1#f");
    EXPECT_EQ(server_.requests().at(0).query, "");

    server_.clearRequests();
    for (const char* id : {"", ".", ".."}) {
        std::optional<std::optional<plat::Error>> refused;
        client.deleteDevice(id, [&](std::optional<plat::Error> e) { refused = e; });
        ASSERT_TRUE(refused.has_value()) << id; // at once, on the calling thread
        EXPECT_EQ(*refused, plat::Error("Invalid device id", 0));
    }
    plat::RunLoop::main().drain();
    EXPECT_TRUE(server_.requests().empty());

    // A body that is not JSON is a failure, even when the service removed the device.
    server_.setFault("devices/*", standin::Fault{standin::Fault::Kind::Empty, {}});
    std::optional<std::optional<plat::Error>> empty;
    client.deleteDevice("2", [&](std::optional<plat::Error> e) { empty = e; });
    waitFor([&] { return empty.has_value(); });
    EXPECT_EQ(*empty, plat::Error("Unknown error", 0));
}
