// The client of the installations REST service: registers a locally made installation (receiving
// its refresh token and first auth token), generates new auth tokens and deletes installations.
// Requests carry the API key, the bundle identifier and the stored heartbeats; they are built on a
// global utility queue and sent through the service's own URL session; every promise callback runs
// on the promise library's default queue. A reply of status 500 is tried once more after one
// second. Keeps no mutable state; thread-safe.
#pragma once

#include "installations/TSRInstallationsItem.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/net/URLRequest.h"
#include "promises/Promise.h"

#include <memory>
#include <string>

class TSRHeartbeatLoggerProtocol;
namespace plat {
class URLSession;
}

// The built-in address of the service, on a reserved example domain; $VELMORA_TESSERA_BASE
// replaces its origin (core/TSRTesseraBase.h).
inline constexpr const char* kTSRInstallationsAPIBaseURL = "https://installations.tessera.example";
inline constexpr const char* kTSRInstallationsAPIKey = "X-Tessera-Api-Key";
inline constexpr const char* kTSRInstallationsBundleId = "X-Tessera-Bundle-Identifier";
inline constexpr const char* kTSRInstallationsIIDMigrationAuthHeader = "x-tessera-ins-ios-iid-migration-auth";
inline constexpr const char* kTSRInstallationsHeartbeatKey = "X-tessera-client";

// A reply: the response and its body (empty when there was none).
struct TSRInstallationsURLSessionResponse {
    plat::HTTPURLResponse HTTPResponse;
    plat::Data data;
};

class TSRInstallationsAPIService {
public:
    // Over a session of its own. `heartbeatLogger` may be null (no heartbeat header is sent).
    TSRInstallationsAPIService(std::string APIKey, std::string projectID,
                               std::shared_ptr<TSRHeartbeatLoggerProtocol> heartbeatLogger);
    // Over the given session; `retryScheduler` times the second try of a 500 (tests pass a manual one).
    TSRInstallationsAPIService(std::shared_ptr<plat::URLSession> session, std::string APIKey,
                               std::string projectID,
                               std::shared_ptr<TSRHeartbeatLoggerProtocol> heartbeatLogger,
                               plat::Scheduler& retryScheduler = plat::Scheduler::system());

    // A new registered record for an unregistered one; an invalid record is refused unsent.
    promises::Promise<TSRInstallationsItem>
    registerInstallation(const TSRInstallationsItem& installation) const;
    // A copy of the registered record with a new auth token.
    promises::Promise<TSRInstallationsItem>
    refreshAuthTokenForInstallation(const TSRInstallationsItem& installation) const;
    // The same record once the service deleted it.
    promises::Promise<TSRInstallationsItem>
    deleteInstallation(const TSRInstallationsItem& installation) const;

    // "i:" and the core version.
    static std::string SDKVersion();
    // The service's base URL, with the address override applied.
    static std::string baseURL();
    // `text` percent-encoded as one URL path segment ("/" included); none for text that is not UTF-8.
    static std::optional<std::string> pathSegment(const std::string& text);

    const std::string& APIKey() const;
    const std::string& projectID() const;

private:
    // Everything a request needs, shared with the chains in flight so they outlive the service.
    std::shared_ptr<const struct TSRInstallationsAPIServiceState> state_;
};
