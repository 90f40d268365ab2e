// velmora-installations: one operation on the application's installation identity, in a process of
// its own, with the application's bundle, data folder ($VELMORA_HOME) and service address
// ($VELMORA_TESSERA_BASE). Each run is a launch: it configures the app core like the application does.
//   velmora-installations id        the identifier, then a valid auth token (registers when needed)
//   velmora-installations refresh   a new auth token, whatever the old one's expiry
//   velmora-installations delete    deletes the installation at the service and locally
// Prints what it did (never a token, only a short fingerprint of it) and exits 0, or prints the
// failure and exits 1; 2 for a wrong command line.
#include "core/TSRApp.h"
#include "installations/TSRInstallations.h"
#include "installations/TSRInstallationsErrorUtil.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/security/Digest.h"
#include "promises/TPRPromiseFunctions.h"

#include <cmath>
#include <iostream>
#include <optional>
#include <string>

namespace {

int failed(const plat::Error& error) {
    std::cerr << "velmora-installations: " << TSRInstallationsErrorUtil::failureReason(error) << std::endl;
    return 1;
}

std::string fingerprint(const std::string& token) {
    return plat::hexString(plat::sha256(token)).substr(0, 12);
}

// Runs the main queue until `done` holds (the completions arrive there); false after a minute.
bool waitFor(const std::function<bool()>& done) {
    return plat::RunLoop::main().runUntil(done, std::chrono::seconds(60));
}

int timedOut() {
    std::cerr << "velmora-installations: no answer within a minute" << std::endl;
    return 1;
}

int printToken(const TSRInstallations& installations, bool force) {
    std::optional<TSRInstallationsAuthTokenResult> token;
    std::optional<plat::Error> error;
    bool finished = false;
    installations.authTokenForcingRefresh(force, [&](auto result, auto failure) {
        token = std::move(result);
        error = std::move(failure);
        finished = true;
    });
    if (!waitFor([&] { return finished; }))
        return failed(plat::Error::withMessage("timeout", 0, "no answer"));
    if (error) return failed(*error);
    const double left = token->expirationDate().secondsSince1970 - plat::Date::now().secondsSince1970;
    std::cout << "auth token: " << fingerprint(token->authToken()) << " (sha-256 prefix), expires in "
              << std::lround(left) << " s" << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc == 2 ? argv[1] : "";
    if (command != "id" && command != "refresh" && command != "delete") {
        std::cerr << "usage: velmora-installations id|refresh|delete" << std::endl;
        return 2;
    }
    TSRInstallations::registerClass();
    TSRApp::configure();
    std::shared_ptr<TSRInstallations> installations = TSRInstallations::installations();

    int status = 0;
    if (command == "id") {
        std::optional<std::string> identifier;
        std::optional<plat::Error> error;
        bool finished = false;
        installations->installationIDWithCompletion([&](auto tid, auto failure) {
            identifier = std::move(tid);
            error = std::move(failure);
            finished = true;
        });
        if (!waitFor([&] { return finished; })) return timedOut();
        if (error) return failed(*error);
        std::cout << "installation id: " << *identifier << std::endl;
        status = printToken(*installations, false);
    } else if (command == "refresh") {
        status = printToken(*installations, true);
    } else {
        std::optional<plat::Error> error;
        bool finished = false;
        installations->deleteWithCompletion([&](auto failure) {
            error = std::move(failure);
            finished = true;
        });
        if (!waitFor([&] { return finished; })) return timedOut();
        if (error) return failed(*error);
        std::cout << "installation deleted" << std::endl;
    }
    // Background work the operations started (a registration, a token refresh) ends before exit.
    TPRWaitForPromisesWithTimeout(30);
    return status;
}
