#include "sessions/SessionStartEvent.h"

#include "sessions/SessionsLogger.h"
#include "sessions/TSRSESNanoPBHelpers.h"

#include <pb_decode.h>

#include <algorithm>
#include <cctype>

namespace {

// Replaces the text a field points to, freeing the old array.
void replace(pb_bytes_array_t*& field, std::string_view text) {
    nanopb_free(field);
    field = TSRSESEncodeString(text);
}

tessera_apphealth_sessions_LogEnvironment logEnvironment(DevEnvironment environment) {
    // The cases run prod, staging, dev; the log environments dev, staging, prod from 1.
    return static_cast<tessera_apphealth_sessions_LogEnvironment>(3 - static_cast<int>(environment));
}

} // namespace

DecodedSessionEvent::DecodedSessionEvent() : message(tessera_apphealth_sessions_SessionEvent_init_zero) {}

DecodedSessionEvent::~DecodedSessionEvent() {
    pb_release(tessera_apphealth_sessions_SessionEvent_fields, &message);
}

SessionStartEvent::SessionStartEvent(const SessionInfo& sessionInfo, const ApplicationInfoProtocol& appInfo,
                                     const TimeProvider& time)
    : proto_(tessera_apphealth_sessions_SessionEvent_init_zero) {
    proto_.event_type = tessera_apphealth_sessions_EventType_SESSION_START;

    proto_.has_session_data = true;
    auto& session = proto_.session_data;
    replace(session.session_id, sessionInfo.sessionId);
    replace(session.first_session_id, sessionInfo.firstSessionId);
    session.session_index = sessionInfo.sessionIndex;
    session.event_timestamp_us = time.timestampUS();
    session.has_data_collection_status = true;
    session.data_collection_status.performance =
        tessera_apphealth_sessions_DataCollectionState_COLLECTION_SDK_NOT_INSTALLED;
    session.data_collection_status.crashwatch =
        tessera_apphealth_sessions_DataCollectionState_COLLECTION_SDK_NOT_INSTALLED;

    proto_.has_application_info = true;
    auto& application = proto_.application_info;
    replace(application.app_id, appInfo.appID());
    replace(application.session_sdk_version, appInfo.sdkVersion());
    replace(application.os_version, appInfo.osDisplayVersion());
    application.log_environment = logEnvironment(appInfo.environment());
    replace(application.device_model, appInfo.deviceModel());
    application.which_platform_info = TSRSESGetAppleApplicationInfoTag();
    auto& apple = application.platform_info.apple_app_info;
    replace(apple.bundle_short_version, appInfo.appDisplayVersion());
    replace(apple.app_build_version, appInfo.appBuildVersion());
    apple.os_name = convertOsName(appInfo.osName());
    replace(apple.restricted_network_string, "");
    apple.has_network_connection_info = true;
    apple.network_connection_info.network_type = tessera_apphealth_sessions_NetworkType_NETWORK_TYPE_UNKNOWN;
    apple.network_connection_info.mobile_subtype =
        tessera_apphealth_sessions_MobileSubtype_MOBILE_SUBTYPE_UNKNOWN;
}

SessionStartEvent::~SessionStartEvent() {
    // Every array the message points to was allocated as nanopb allocates, so its release frees them.
    pb_release(tessera_apphealth_sessions_SessionEvent_fields, &proto_);
}

void SessionStartEvent::setInstallationID(std::string_view installationId) {
    replace(proto_.session_data.tessera_installation_id, installationId);
}

void SessionStartEvent::setAuthenticationToken(std::string_view authenticationToken) {
    replace(proto_.session_data.tessera_authentication_token, authenticationToken);
}

void SessionStartEvent::setSamplingRate(double samplingRate) {
    proto_.session_data.data_collection_status.session_sampling_rate = samplingRate;
}

tessera_apphealth_sessions_DataCollectionState
SessionStartEvent::makeDataCollectionProto(bool isDataCollectionEnabled) {
    return isDataCollectionEnabled ? tessera_apphealth_sessions_DataCollectionState_COLLECTION_ENABLED
                                   : tessera_apphealth_sessions_DataCollectionState_COLLECTION_DISABLED;
}

void SessionStartEvent::set(SessionsSubscriberName subscriber, bool isDataCollectionEnabled,
                            const ApplicationInfoProtocol& appInfo) {
    const auto state = makeDataCollectionProto(isDataCollectionEnabled);
    auto& status = proto_.session_data.data_collection_status;
    switch (subscriber) {
    case SessionsSubscriberName::Crashwatch:
        status.crashwatch = state;
        break;
    case SessionsSubscriberName::Performance:
        status.performance = state;
        break;
    default:
        TSRSessionsLog(TSRLoggerLevelWarning,
                       "Attempted to set Data Collection status for unknown Subscriber: " +
                           SessionsSubscriberNameDescription(subscriber));
        break;
    }
    if (subscriber == SessionsSubscriberName::Performance && isDataCollectionEnabled) {
        auto& apple = proto_.application_info.platform_info.apple_app_info;
        replace(apple.restricted_network_string, "");
        apple.network_connection_info.network_type = convertNetworkType(appInfo.networkInfo()->networkType());
        apple.network_connection_info.mobile_subtype =
            tessera_apphealth_sessions_MobileSubtype_MOBILE_SUBTYPE_UNKNOWN;
    }
}

tessera_apphealth_sessions_OsName SessionStartEvent::convertOsName(const std::string& osName) {
    std::string name = osName;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == "macos") return tessera_apphealth_sessions_OsName_MACOS;
    if (name == "maccatalyst") return tessera_apphealth_sessions_OsName_MACCATALYST;
    if (name == "ios_on_mac") return tessera_apphealth_sessions_OsName_IOS_ON_MAC;
    if (name == "ios") return tessera_apphealth_sessions_OsName_IOS;
    if (name == "tvos") return tessera_apphealth_sessions_OsName_TVOS;
    if (name == "watchos") return tessera_apphealth_sessions_OsName_WATCHOS;
    if (name == "ipados") return tessera_apphealth_sessions_OsName_IPADOS;
    TSRSessionsLog(TSRLoggerLevelWarning, "Found unknown OSName: \"" + osName + "\" while converting.");
    return tessera_apphealth_sessions_OsName_UNKNOWN_OSNAME;
}

tessera_apphealth_sessions_NetworkType SessionStartEvent::convertNetworkType(int64_t networkType) {
    if (networkType == 0) return tessera_apphealth_sessions_NetworkType_NETWORK_TYPE_MOBILE;
    if (networkType == 1) return tessera_apphealth_sessions_NetworkType_NETWORK_TYPE_WIFI;
    return tessera_apphealth_sessions_NetworkType_NETWORK_TYPE_UNKNOWN;
}

std::optional<plat::Data> SessionStartEvent::transportBytes() const {
    return TSRSESTransportBytes(proto_);
}

std::unique_ptr<DecodedSessionEvent> SessionStartEvent::encodeDecodeEvent() const {
    const plat::Data bytes = TSRSESTransportBytes(proto_);
    auto decoded = std::make_unique<DecodedSessionEvent>();
    pb_istream_t stream = pb_istream_from_buffer(bytes.data(), bytes.size());
    if (!pb_decode(&stream, tessera_apphealth_sessions_SessionEvent_fields, &decoded->message)) {
        const std::string error = TSRSESPBGetError(stream);
        if (!error.empty())
            TSRSessionsLog(TSRLoggerLevelError, "Session Event failed to decode transportBytes: " + error);
    }
    return decoded;
}
