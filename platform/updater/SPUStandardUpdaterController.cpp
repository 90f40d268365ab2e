#include "platform/updater/SPUStandardUpdaterController.h"

#include "platform/foundation/Bundle.h"

namespace plat {

SPUStandardUpdaterController::SPUStandardUpdaterController(bool startingUpdater,
                                                           SPUUpdaterDelegate* updaterDelegate,
                                                           SPUStandardUserDriverDelegate* userDriverDelegate)
    : SPUStandardUpdaterController(SPUUpdater::make(SPUUpdater::configurationFromBundle(Bundle::main())),
                                   startingUpdater) {
    (void)updaterDelegate;
    (void)userDriverDelegate;
}

SPUStandardUpdaterController::SPUStandardUpdaterController(std::shared_ptr<SPUUpdater> updater,
                                                           bool startingUpdater)
    : updater_(std::move(updater)) {
    if (startingUpdater) updater_->startUpdater();
}

} // namespace plat
