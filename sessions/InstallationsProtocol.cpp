#include "sessions/InstallationsProtocol.h"

#include "installations/TSRInstallations.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/ProcessExit.h"

#include <algorithm>
#include <chrono>
#include <mutex>

namespace {

// What the two answers leave behind; shared with completions that may come after the wait.
struct Answers {
    std::mutex lock;
    std::string token;
    std::optional<std::string> id;
    std::optional<plat::Error> error;
};

// Waits up to `limit` for both answers, and gives up as soon as the process ends: their
// completions may need a timer or a queue that no longer runs then, and a quit must not wait out
// the limit on them.
bool answered(const plat::DispatchGroup& group, plat::Duration limit) {
    constexpr plat::Duration kLook = std::chrono::milliseconds(50);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (group.wait(std::clamp<plat::Duration>(left, plat::Duration::zero(), kLook))) return true;
        if (left <= kLook || plat::isEndingBackgroundWork()) return false;
    }
}

} // namespace

void InstallationsProtocol::installationID(
    const std::function<void(InstallationFactsResult)>& completion) const {
    auto answers = std::make_shared<Answers>();
    plat::DispatchGroup group;

    group.enter();
    authToken(
        [answers, group](std::optional<TSRInstallationsAuthTokenResult> token, std::optional<plat::Error>) {
            {
                std::lock_guard guard(answers->lock);
                answers->token = token ? token->authToken() : std::string();
            }
            group.leave();
        });
    group.enter();
    installationID([answers, group](std::optional<std::string> id, std::optional<plat::Error> error) {
        {
            std::lock_guard guard(answers->lock);
            if (id)
                answers->id = std::move(id);
            else if (error)
                answers->error = std::move(error);
        }
        group.leave();
    });

    if (!answered(group, std::chrono::seconds(installationsWaitTimeInSecond()))) {
        completion(TesseraSessionsError(TesseraSessionsError::Kind::SessionInstallationsTimeOutError));
        return;
    }
    std::unique_lock guard(answers->lock);
    if (answers->id) {
        InstallationFacts facts{*answers->id, answers->token};
        guard.unlock();
        completion(facts);
    } else if (answers->error) {
        plat::Error error = *answers->error;
        guard.unlock();
        completion(TesseraSessionsError::SessionInstallationsError(error));
    }
}

TSRInstallationsAdapter::TSRInstallationsAdapter(std::shared_ptr<TSRInstallations> installations)
    : installations_(std::move(installations)) {}

namespace {

// An app configured without the installations component has no identity to offer.
plat::Error noInstallations() {
    return plat::Error::withMessage("com.tessera.installations", 0,
                                    "The app has no installations component.");
}

} // namespace

void TSRInstallationsAdapter::authToken(AuthTokenCompletion completion) const {
    if (!installations_) return completion(std::nullopt, noInstallations());
    installations_->authTokenWithCompletion(std::move(completion));
}

void TSRInstallationsAdapter::installationID(IDCompletion completion) const {
    if (!installations_) return completion(std::nullopt, noInstallations());
    installations_->installationIDWithCompletion(std::move(completion));
}
