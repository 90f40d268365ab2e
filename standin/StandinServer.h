// velmora-standin's server: a local stand-in of the VPN service's REST API under "/api/", of the
// installations service under "/v1/tenants/", of the session and crash settings services under
// "/settings/v1/" and of the event upload service (UploadRoutes.h), with in-memory accounts, installations
// and settings, the region fixture, per-path faults and a request log for tests. It listens on 127.0.0.1 only
// and serves from threads of its own; every accessor may be called from any thread.
#pragma once

#include "standin/CrashSettingsService.h"
#include "standin/FaultTable.h"
#include "standin/InstallationRegistry.h"
#include "standin/RequestLog.h"
#include "standin/SettingsService.h"
#include "standin/UploadService.h"

#include <cstddef>
#include <cstdint>
#include <functional>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace standin {

class StandinServer {
public:
    StandinServer();
    ~StandinServer(); // stops the server when it still runs
    StandinServer(const StandinServer&) = delete;
    StandinServer& operator=(const StandinServer&) = delete;

    // Binds 127.0.0.1:`port` (0 picks a free port) and starts serving. Returns the bound port;
    // requests are accepted from the moment it returns. Throws std::runtime_error when the port
    // cannot be bound, std::logic_error when the server was started before (it starts only once).
    int start(int port = 0);
    // Stops accepting, cuts armed delays short and waits for the server thread. Idempotent.
    void stop();

    // The bound port (0 before start) and the API base URL "http://127.0.0.1:<port>/api/".
    int port() const;
    std::string baseURL() const;

    // The API requests received so far (administration requests are not recorded), oldest first.
    std::vector<RequestLogEntry> requests() const;
    void clearRequests();

    // Marks a token issued by a sign-in or sign-up as expired: authorised requests carrying it are
    // then answered with 401 and {"code":"E0112", ...}. False when the token was never issued.
    bool expireToken(const std::string& token);

    // Arms a fault for a path ("/api/devices", "devices", or a prefix ending in '*').
    void setFault(const std::string& path, Fault fault);
    void clearFault(const std::string& path);
    void clearFaults();
    // The requests a Hold fault keeps waiting now (their paths, oldest first), and the release of at
    // most `most` of them, oldest first: each is then answered as the stand-in's state has it by
    // then. Requests that arrive later are held too while the fault is armed.
    size_t held() const;
    std::vector<std::string> heldPaths() const;
    void releaseHeld(size_t most = SIZE_MAX);

    // The installations service's state: installations, token lifetime and its faults.
    InstallationRegistry& installations();
    // The session settings service's state: its document, fault and requests.
    SettingsService& settings();
    // The crash settings service's state: its document, fault, delay and requests.
    CrashSettingsService& crashSettings();

    // Called after each API request (administration excluded) with "<method> <path> -> <status>",
    // on the server's threads. Set before start().
    void setAccessLog(std::function<void(const std::string& line)> accessLog);

    // The event upload service: received bodies, waits and its faults.
    UploadService& uploads();

    // The pending password-reset code of an address, once auth/reset-password was called for it.
    std::optional<std::string> resetCode(const std::string& email) const;

    // The seeded demo account.
    static std::string demoEmail();
    static std::string demoPassword();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace standin
