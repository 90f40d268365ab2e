#include "crash/report/CRWInstallIdentifierModel.h"

#include "crash/record/CRWEncoding.h"
#include "crash/record/CRWSharedLog.h"
#include "installations/TSRInstallations.h"
#include "platform/dispatch/DispatchGroup.h"

CRWInstallIdentifierModel::CRWInstallIdentifierModel(std::shared_ptr<TSRInstallations> installations,
                                                     CRWUserDefaults& defaults)
    : state_(std::make_shared<State>()), installations_(std::move(installations)) {
    state_->defaults = &defaults;
    std::optional<std::string> stored = readInstallationUUID();
    if (!stored || stored->empty()) {
        CRWDebugLog("Generating Install ID");
        stored = generateInstallationUUID();
        defaults.synchronize();
    }
    std::lock_guard lock(state_->mutex);
    state_->installID = *stored;
}

std::string CRWInstallIdentifierModel::installID() const {
    std::lock_guard lock(state_->mutex);
    return state_->installID;
}

std::optional<std::string> CRWInstallIdentifierModel::readInstallationUUID() const {
    return state_->defaults->stringForKey(CRWInstallUUIDKey);
}

std::string CRWInstallIdentifierModel::generateInstallationUUID() {
    return generate(*state_);
}

std::string CRWInstallIdentifierModel::generate(State& state) {
    std::string uuid = CRWGenerateUUID();
    state.defaults->setString(uuid, CRWInstallUUIDKey);
    return uuid;
}

bool CRWInstallIdentifierModel::regenerateInstallIDIfNeededWithBlock(const RegenerateBlock& block,
                                                                     plat::Duration timeout) {
    // The completions may come after the wait has given up, so what they touch is shared, not local.
    struct Received {
        std::mutex mutex;
        std::string installationID;
        std::string authToken;
        bool rotated = false;
    };
    auto received = std::make_shared<Received>();
    plat::DispatchGroup group;
    if (installations_) {
        group.enter();
        group.enter();
        installations_->authTokenWithCompletion([received, group](auto token, auto) {
            if (token) {
                std::lock_guard lock(received->mutex);
                received->authToken = token->authToken();
            }
            group.leave();
        });
        installations_->installationIDWithCompletion(
            [state = state_, received, group](auto identifier, auto error) {
                {
                    std::lock_guard lock(received->mutex);
                    received->installationID = identifier.value_or("");
                }
                const bool rotated = rotate(*state, identifier, error);
                if (rotated) CRWInfoLog("Rotated Crashwatch Install UUID because Tessera Install ID changed");
                {
                    std::lock_guard lock(received->mutex);
                    received->rotated = rotated;
                }
                group.leave();
            });
    }
    if (!group.wait(timeout)) CRWErrorLog("Crashwatch timed out while checking for Tessera Installation ID");
    std::string installationID, authToken;
    bool rotated = false;
    {
        std::lock_guard lock(received->mutex);
        installationID = received->installationID;
        authToken = received->authToken;
        rotated = received->rotated;
    }
    if (block) block(installationID, authToken);
    return rotated;
}

bool CRWInstallIdentifierModel::rotateCrashwatchInstallUUIDWithIID(
    const std::optional<std::string>& installationID, const std::optional<plat::Error>& error) {
    return rotate(*state_, installationID, error);
}

bool CRWInstallIdentifierModel::rotate(State& state, const std::optional<std::string>& installationID,
                                       const std::optional<plat::Error>& error) {
    std::lock_guard rotation(state.rotation);
    CRWUserDefaults& defaults = *state.defaults;
    const plat::Object legacy = defaults.objectForKey(CRWLegacyInstallIDKey);
    if (!legacy.isAbsent() && !(legacy.isString() && legacy.string().empty())) {
        defaults.removeObjectForKey(CRWLegacyInstallIDKey);
        defaults.synchronize();
    }
    if (error) {
        CRWErrorLog("Failed to get Tessera legacy identity: %@", error->localizedDescription());
        return false;
    }
    if (!installationID || installationID->empty()) {
        CRWErrorLog("Tessera legacy identity was empty when checked for changes");
        return false;
    }
    const std::string hash = CRW256HashNSData(plat::toData(*installationID));
    const std::optional<std::string> previous = defaults.stringForKey(CRWInstallationIDHashKey);
    if (previous && *previous == hash) return false;

    bool rotated = false;
    if (previous && !previous->empty()) {
        CRWDebugLog("Regenerating Install ID");
        std::string uuid = generate(state);
        std::lock_guard lock(state.mutex);
        state.installID = std::move(uuid);
        rotated = true;
    }
    defaults.setString(hash, CRWInstallationIDHashKey);
    defaults.synchronize();
    return rotated;
}
