#include "sessions/DevEventConsoleLogger.h"

#include "sessions/SessionEventDescriptions.h"
#include "sessions/SessionStartEvent.h"
#include "sessions/SessionsLogger.h"

#include "platform/foundation/ProcessInfo.h"

#include <algorithm>

DevEventConsoleLogger::DevEventConsoleLogger(ArgumentsProvider arguments)
    : arguments_(arguments ? std::move(arguments)
                           : ArgumentsProvider([] { return plat::ProcessInfo::processInfo().arguments(); })) {
}

void DevEventConsoleLogger::logEvent(const std::shared_ptr<SessionStartEvent>& event, EventLogCompletion) {
    const std::vector<std::string> arguments = arguments_();
    if (std::find(arguments.begin(), arguments.end(), commandLineArgument_) == arguments.end()) return;
    prettyPrint(event->encodeDecodeEvent()->message);
}

namespace {

// The auth token is a credential: the dump tells whether there is one, never what it is.
std::string describeSecret(const pb_bytes_array_t* array) {
    if (!array || array->size == 0) return TSRSESDescribeString(array);
    return "<REDACTED>";
}

} // namespace

void DevEventConsoleLogger::prettyPrint(const tessera_apphealth_sessions_SessionEvent& proto) const {
    TSRSessionsLog(TSRLoggerLevelInfo, describe(proto));
}

std::string DevEventConsoleLogger::describe(const tessera_apphealth_sessions_SessionEvent& proto) const {
    const auto& session = proto.session_data;
    const auto& status = session.data_collection_status;
    const auto& application = proto.application_info;
    // A partial decode may have left the oneof unset; its other member's arrays are not these.
    static const tessera_apphealth_sessions_AppleApplicationInfo kNoAppleInfo =
        tessera_apphealth_sessions_AppleApplicationInfo_init_zero;
    const auto& apple =
        application.which_platform_info == tessera_apphealth_sessions_ApplicationInfo_apple_app_info_tag
            ? application.platform_info.apple_app_info
            : kNoAppleInfo;
    const auto& network = apple.network_connection_info;
    const std::string lines[] = {
        "Printing Session Event due to \"" + commandLineArgument_ + "\" command line argument",
        "Session Event:",
        "  event_type: " + TSRSESDescribeEventType(proto.event_type),
        "  session_data",
        "    session_id: " + TSRSESDescribeString(session.session_id),
        "    first_session_id: " + TSRSESDescribeString(session.first_session_id),
        "    session_index: " + std::to_string(session.session_index),
        "    event_timestamp_us: " + std::to_string(session.event_timestamp_us),
        "    tessera_installation_id: " + TSRSESDescribeString(session.tessera_installation_id),
        "    tessera_authentication_token:",
        "        " + describeSecret(session.tessera_authentication_token),
        "    data_collection_status",
        "      crashwatch: " + TSRSESDescribeDataCollectionState(status.crashwatch),
        "      performance: " + TSRSESDescribeDataCollectionState(status.performance),
        "      session_sampling_rate: " + TSRSESDescribeDouble(status.session_sampling_rate),
        "  application_info",
        "    app_id: " + TSRSESDescribeString(application.app_id),
        "    session_sdk_version: " + TSRSESDescribeString(application.session_sdk_version),
        "    os_version: " + TSRSESDescribeString(application.os_version),
        "    device_model: " + TSRSESDescribeString(application.device_model),
        "    development_platform_name: " + TSRSESDescribeString(application.development_platform_name),
        "    development_platform_version: " + TSRSESDescribeString(application.development_platform_version),
        "    apple_app_info",
        "      bundle_short_version: " + TSRSESDescribeString(apple.bundle_short_version),
        "      app_build_version: " + TSRSESDescribeString(apple.app_build_version),
        "      network_connection_info",
        "        network_type: " + std::to_string(network.network_type),
        "        mobile_subtype: " + std::to_string(network.mobile_subtype),
        "      os_name: " + TSRSESDescribeOsName(apple.os_name),
        "      log_environment: " + TSRSESDescribeLogEnvironment(application.log_environment),
    };
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}
