// Owns the application's one updater, configured from the main bundle, and starts it on request
// when it is made. Delegates are accepted for the shape of the call; the stand-in asks nothing of
// them. Main thread only.
#pragma once

#include "platform/updater/SPUUpdater.h"

#include <memory>

namespace plat {

// Hooks into the updater's decisions and its user interface; none are consulted yet.
class SPUUpdaterDelegate {
public:
    virtual ~SPUUpdaterDelegate() = default;
};
class SPUStandardUserDriverDelegate {
public:
    virtual ~SPUStandardUserDriverDelegate() = default;
};

class SPUStandardUpdaterController {
public:
    // An updater configured from the main bundle, started at once when `startingUpdater` is true.
    SPUStandardUpdaterController(bool startingUpdater, SPUUpdaterDelegate* updaterDelegate,
                                 SPUStandardUserDriverDelegate* userDriverDelegate);
    // The same over an updater made elsewhere (tests give theirs a feed and a scheduler).
    SPUStandardUpdaterController(std::shared_ptr<SPUUpdater> updater, bool startingUpdater);
    SPUStandardUpdaterController(const SPUStandardUpdaterController&) = delete;
    SPUStandardUpdaterController& operator=(const SPUStandardUpdaterController&) = delete;

    // The application's updater; the same object for the controller's whole life.
    const std::shared_ptr<SPUUpdater>& updater() const { return updater_; }
    void startUpdater() { updater_->startUpdater(); }
    // The menu action: a user-initiated check.
    void checkForUpdates() { updater_->checkForUpdates(); }

private:
    std::shared_ptr<SPUUpdater> updater_;
};

} // namespace plat
