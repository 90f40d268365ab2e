// The session code's view of the installations service: the installation id and auth token, each
// with a completion, and a waiting form that fetches both and gives up after
// installationsWaitTimeInSecond(). TSRInstallationsAdapter is the app core's installations seen
// this way.
#pragma once

#include "sessions/TesseraSessionsError.h"

#include "installations/TSRInstallationsAuthTokenResult.h"
#include "platform/object/Error.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

class TSRInstallations;

// What the waiting form hands over on success.
struct InstallationFacts {
    std::string installationID;
    std::string authToken; // empty when no token came
};

// Success, or the time-out, or the id request's error as SessionInstallationsError.
using InstallationFactsResult = std::variant<InstallationFacts, TesseraSessionsError>;

class InstallationsProtocol {
public:
    using AuthTokenCompletion = std::function<void(std::optional<TSRInstallationsAuthTokenResult> token,
                                                   std::optional<plat::Error> error)>;
    using IDCompletion = std::function<void(std::optional<std::string> id, std::optional<plat::Error> error)>;

    virtual ~InstallationsProtocol() = default;
    virtual int installationsWaitTimeInSecond() const = 0;
    virtual void authToken(AuthTokenCompletion completion) const = 0;
    virtual void installationID(IDCompletion completion) const = 0;

    // Asks for the token and the id at once and blocks the calling thread until both answered or
    // the wait time passed; answers after that are dropped. A failed token is an empty token, a
    // failed id is the failure; the time-out is SessionInstallationsTimeOutError. An id request
    // answered with neither an id nor an error never completes. Never call it on the thread that
    // delivers the service's answers (the main thread for the app core's installations).
    void installationID(const std::function<void(InstallationFactsResult)>& completion) const;
};

// The app core's installations: their completions arrive on the main queue; the wait is 10 s.
class TSRInstallationsAdapter : public InstallationsProtocol {
public:
    explicit TSRInstallationsAdapter(std::shared_ptr<TSRInstallations> installations);

    int installationsWaitTimeInSecond() const override { return 10; }
    void authToken(AuthTokenCompletion completion) const override;
    void installationID(IDCompletion completion) const override;
    using InstallationsProtocol::installationID;

private:
    std::shared_ptr<TSRInstallations> installations_;
};
