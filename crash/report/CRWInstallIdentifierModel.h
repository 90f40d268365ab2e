// The crash reporter's install UUID, which settings requests and report payloads carry. It lives in
// the crash reporter's defaults store and is replaced whenever the app's installation ID (from the
// installations component) changes from one that was seen before; the first ID ever seen only
// records its hash.
#pragma once

#include "crash/report/CRWUserDefaults.h"
#include "platform/dispatch/Clock.h"
#include "platform/object/Error.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TSRInstallations;

class CRWInstallIdentifierModel {
public:
    // Reads the install UUID, or makes, stores and synchronises a new one (logging "Generating
    // Install ID") when there is none. `defaults` must outlive the model.
    explicit CRWInstallIdentifierModel(std::shared_ptr<TSRInstallations> installations,
                                       CRWUserDefaults& defaults = CRWUserDefaults::standardUserDefaults());

    // The current install UUID; safe from any thread.
    std::string installID() const;

    // Asks the installations component for its ID and an auth token in parallel, waits at most
    // `timeout` for both, rotates the install UUID when the ID changed, and calls `block` with the
    // ID and token received so far ("" for each that has not arrived). True when the UUID was
    // replaced. The component answers on the main queue, so this must not run on the main thread.
    using RegenerateBlock =
        std::function<void(const std::string& installationID, const std::string& authToken)>;
    bool regenerateInstallIDIfNeededWithBlock(const RegenerateBlock& block,
                                              plat::Duration timeout = std::chrono::seconds(10));

    // Drops the legacy key, then compares the ID's SHA-256 with the stored one: a changed ID
    // replaces the install UUID (true) when an earlier hash was stored; the new hash is stored and the
    // defaults synchronised either way. An error or an empty ID is logged and answers false.
    bool rotateCrashwatchInstallUUIDWithIID(const std::optional<std::string>& installationID,
                                            const std::optional<plat::Error>& error);

    std::optional<std::string> readInstallationUUID() const;
    // A new UUID, stored (not yet synchronised) and answered.
    std::string generateInstallationUUID();

    const std::shared_ptr<TSRInstallations>& installations() const { return installations_; }

private:
    // What a late completion may still touch after the model is gone.
    struct State {
        std::mutex mutex; // guards installID
        std::string installID;
        std::mutex rotation; // one rotation at a time: its read-compare-write spans several calls
        CRWUserDefaults* defaults = nullptr;
    };
    static bool rotate(State& state, const std::optional<std::string>& installationID,
                       const std::optional<plat::Error>& error);
    static std::string generate(State& state);

    std::shared_ptr<State> state_;
    std::shared_ptr<TSRInstallations> installations_;
};
