// The session start event: what construction, the subscribers and the coordinator put in it, its
// encoding (checked with protoc against our .proto), the shared nanopb helpers and the debug dump.
#include "tests/sessions/SessionsTestSupport.h"

#include "sessions/DevEventConsoleLogger.h"
#include "sessions/SessionEventDescriptions.h"
#include "sessions/SessionStartEvent.h"
#include "sessions/TSRSESNanoPBHelpers.h"

#include "core/TSRVersion.h"

using namespace sestest;

namespace {

// Network facts that report a type this platform never does.
class WifiNetwork : public NetworkInfoProtocol {
public:
    int64_t networkType() const override { return 1; }
    std::string mobileSubtype() const override { return ""; }
};

class SessionEventTest : public SessionsTest {
protected:
    SessionInfo session_{"0123456789abcdef0123456789abcdef", "fedcba9876543210fedcba9876543210", true, 2};
    Time time_{[] { return plat::Date{1'700'000'000.9}; }};
};

std::string decoded(const SessionStartEvent& event) {
    plat::Data bytes = event.transportBytes().value_or(plat::Data());
    return testsupport::protocDecode(std::string(bytes.begin(), bytes.end()),
                                     "tessera.apphealth.sessions.SessionEvent", "sessions/proto",
                                     "sessions.proto");
}

TEST_F(SessionEventTest, ConstructionFillsTheSessionAndTheApplicationFacts) {
    auto appInfo = makeAppInfo(kAppID, "1.0.0", "", {{"TesseraSessionsRunEnvironment", "staging"}});
    SessionStartEvent event(session_, *appInfo, time_);
    const auto& proto = event.proto();
    EXPECT_EQ(proto.event_type, tessera_apphealth_sessions_EventType_SESSION_START);
    EXPECT_EQ(TSRSESDecodeString(proto.session_data.session_id), session_.sessionId);
    EXPECT_EQ(proto.session_data.event_timestamp_us, 1'700'000'000'000'000);
    EXPECT_EQ(proto.session_data.data_collection_status.crashwatch, 1);
    EXPECT_EQ(proto.session_data.data_collection_status.performance, 1);
    EXPECT_EQ(proto.session_data.tessera_installation_id, nullptr);
    EXPECT_EQ(proto.application_info.log_environment, tessera_apphealth_sessions_LogEnvironment_STAGING);
    EXPECT_EQ(proto.application_info.development_platform_name, nullptr);
    // A missing bundle version is a zero-length array, not an absent one.
    const pb_bytes_array_t* build = proto.application_info.platform_info.apple_app_info.app_build_version;
    ASSERT_NE(build, nullptr);
    EXPECT_EQ(build->size, 0);

    event.setInstallationID("tid-1");
    event.setInstallationID("tid-2"); // the first array is freed (the sanitizer would say otherwise)
    event.setAuthenticationToken("token");
    event.setSamplingRate(0.25);
    const std::string text = decoded(event);
    for (const char* line :
         {"event_type: SESSION_START", "session_id: \"0123456789abcdef0123456789abcdef\"",
          "first_session_id: \"fedcba9876543210fedcba9876543210\"", "session_index: 2",
          "event_timestamp_us: 1700000000000000", "tessera_installation_id: \"tid-2\"",
          "tessera_authentication_token: \"token\"", "performance: COLLECTION_SDK_NOT_INSTALLED",
          "crashwatch: COLLECTION_SDK_NOT_INSTALLED", "session_sampling_rate: 0.25",
          "app_id: \"1:111122223333:ios:f00dcafe12345678\"", "bundle_short_version: \"1.0.0\"",
          "os_name: MACOS", "network_type: NETWORK_TYPE_UNKNOWN", "log_environment: STAGING"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " missing from\n" << text;
    EXPECT_NE(text.find("session_sdk_version: \"" + TSRVersion() + "\""), std::string::npos) << text;
    EXPECT_EQ(text.find("development_platform_name"), std::string::npos) << text;
    EXPECT_EQ(text.find("android_app_info"), std::string::npos) << text;

    // The decoded copy for printing carries the same facts.
    auto copy = event.encodeDecodeEvent();
    EXPECT_EQ(TSRSESDecodeString(copy->message.session_data.tessera_installation_id), "tid-2");
    EXPECT_EQ(copy->message.application_info.which_platform_info, TSRSESGetAppleApplicationInfoTag());
}

TEST_F(SessionEventTest, SubscribersSetTheirOwnDataCollectionField) {
    auto appInfo = makeAppInfo();
    SessionStartEvent event(session_, *appInfo, time_);
    event.set(SessionsSubscriberName::Crashwatch, true, *appInfo);
    const auto& status = event.proto().session_data.data_collection_status;
    EXPECT_EQ(status.crashwatch, tessera_apphealth_sessions_DataCollectionState_COLLECTION_ENABLED);
    EXPECT_EQ(status.performance,
              tessera_apphealth_sessions_DataCollectionState_COLLECTION_SDK_NOT_INSTALLED);
    const auto& apple = event.proto().application_info.platform_info.apple_app_info;
    EXPECT_EQ(apple.network_connection_info.network_type, 8);
    event.set(SessionsSubscriberName::Crashwatch, false, *appInfo);
    EXPECT_EQ(status.crashwatch, tessera_apphealth_sessions_DataCollectionState_COLLECTION_DISABLED);

    // An unknown subscriber changes nothing and is named in a warning.
    event.set(SessionsSubscriberName::Unknown, true, *appInfo);
    EXPECT_EQ(status.performance,
              tessera_apphealth_sessions_DataCollectionState_COLLECTION_SDK_NOT_INSTALLED);
    EXPECT_TRUE(logged("Attempted to set Data Collection status for unknown Subscriber: Unknown"));

    // A collecting Performance subscriber also brings the network facts.
    ApplicationInfo wifi(kAppID, std::make_shared<WifiNetwork>(), {}, std::nullopt);
    event.set(SessionsSubscriberName::Performance, true, wifi);
    EXPECT_EQ(status.performance, tessera_apphealth_sessions_DataCollectionState_COLLECTION_ENABLED);
    EXPECT_EQ(apple.network_connection_info.network_type, 1);
    EXPECT_EQ(SessionStartEvent::convertNetworkType(-1), 8);
    EXPECT_EQ(SessionStartEvent::convertNetworkType(7), 8);

    EXPECT_EQ(SessionStartEvent::convertOsName("MacOS"), tessera_apphealth_sessions_OsName_MACOS);
    EXPECT_EQ(SessionStartEvent::convertOsName("Linux"), tessera_apphealth_sessions_OsName_UNKNOWN_OSNAME);
    EXPECT_TRUE(logged("Found unknown OSName: \"Linux\" while converting."));
}

TEST(NanoPBHelpersTest, ArraysTextsAndTimestamps) {
    pb_bytes_array_t* empty = TSRSESEncodeString("");
    pb_bytes_array_t* abc = TSRSESEncodeString("abc");
    pb_bytes_array_t* abd = TSRSESEncodeString("abd");
    ASSERT_TRUE(empty && abc && abd);
    EXPECT_TRUE(TSRSESIsPBArrayEqual(nullptr, empty));
    EXPECT_FALSE(TSRSESIsPBArrayEqual(nullptr, abc));
    EXPECT_FALSE(TSRSESIsPBArrayEqual(abc, abd));
    EXPECT_TRUE(TSRSESIsPBStringEqual(abc, "abc"));
    EXPECT_TRUE(TSRSESIsPBDataEqual(abd, plat::toData("abd")));
    EXPECT_EQ(TSRSESDecodeString(empty), "");
    EXPECT_EQ(TSRSESDecodeData(abc), plat::toData("abc"));
    // Longer than an array can count: no array, so the field is left out rather than cut short.
    EXPECT_EQ(TSRSESEncodeData(plat::Data(70'000, 'x')), nullptr);
    nanopb_free(empty);
    nanopb_free(abc);
    nanopb_free(abd);

    EXPECT_EQ(Time::timestampUS(plat::Date{1'700'000'000.9}), 1'700'000'000'000'000);
    EXPECT_EQ(Time::timestampUS(plat::Date{-5}), 0);

    plat::Error error = TSRSESMakeEncodeError("Error in nanopb encoding: x");
    EXPECT_EQ(error.domain, "TSRSESEncodeError");
    EXPECT_EQ(error.code, -1);
    EXPECT_EQ(error.localizedDescription(), "Error in nanopb encoding: x");
    pb_istream_t stream = pb_istream_from_buffer(nullptr, 0);
    EXPECT_EQ(TSRSESPBGetError(stream), "(none)");
}

TEST_F(SessionEventTest, TheDebugDumpShowsTheEventOnlyForTheExactArgument) {
    auto appInfo = makeAppInfo();
    auto event = std::make_shared<SessionStartEvent>(session_, *appInfo, time_);
    event->setInstallationID("tid-dump");
    event->setAuthenticationToken("secret-token");
    event->setSamplingRate(1.0);

    DevEventConsoleLogger near([] {
        return std::vector<std::string>{"velmora", "-TSRSessionsDebugEventsX"};
    });
    near.logEvent(event,
                  [](std::optional<plat::Error>) { ADD_FAILURE() << "the completion is never called"; });
    EXPECT_FALSE(logged("log_environment: PROD"));

    DevEventConsoleLogger exact([] {
        return std::vector<std::string>{"velmora", "-TSRSessionsDebugEvents"};
    });
    exact.logEvent(event, nullptr);
    std::string dump;
    for (const auto& line : logLines())
        if (line.find("Printing Session Event") != std::string::npos) dump = line;
    for (const char* expected :
         {"Printing Session Event due to \"-TSRSessionsDebugEvents\" command line argument\nSession Event:\n"
          "  event_type: SESSION_START\n  session_data\n    session_id: 0123456789abcdef0123456789abcdef\n",
          "\n    tessera_installation_id: tid-dump\n    tessera_authentication_token:\n        <REDACTED>\n",
          "\n      crashwatch: SDK_NOT_INSTALLED\n      performance: SDK_NOT_INSTALLED\n"
          "      session_sampling_rate: 1.0\n",
          "\n    development_platform_name: <NULL>\n    development_platform_version: <NULL>\n",
          "\n        network_type: 8\n        mobile_subtype: 0\n      os_name: MACOS\n"
          "      log_environment: PROD"})
        EXPECT_NE(dump.find(expected), std::string::npos) << expected << "\nnot in\n" << dump;

    EXPECT_EQ(dump.find("secret-token"), std::string::npos);

    EXPECT_EQ(TSRSESDescribeDouble(0.1), "0.1");
    EXPECT_EQ(TSRSESDescribeDouble(100000), "100000.0");
    EXPECT_EQ(TSRSESDescribeDouble(1e16), "1e+16");
    EXPECT_EQ(TSRSESDescribeDouble(0.00001), "1e-05");
    EXPECT_EQ(TSRSESDescribeOsName(9),
              "Unrecognized OsName. Please update the tessera_apphealth_sessions_OsName "
              "CustomStringConvertible extension");
    EXPECT_EQ(TSRSESDescribeDataCollectionState(-1).rfind("Unrecognized DataCollectionState.", 0), 0u);
    EXPECT_EQ(TSRSESDescribeLogEnvironment(3), "PROD");
    EXPECT_EQ(TSRSESDescribeEventType(0), "UNKNOWN");
}

} // namespace
