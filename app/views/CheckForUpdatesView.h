// The "Check for Updates…" menu item: a button that starts a user-initiated check and is disabled
// while the updater cannot start one. Each construction makes a new view model with a new
// observation of the updater. Main thread only.
#pragma once

#include "app/views/CheckForUpdatesViewModel.h"
#include "platform/ui/Toolkit.h"
#include "platform/updater/SPUUpdater.h"

#include <memory>

class CheckForUpdatesView : public plat::ui::Screen {
public:
    explicit CheckForUpdatesView(std::shared_ptr<plat::SPUUpdater> updater);
    plat::ui::AnyView body() const override;

    plat::ui::ObservedObject<CheckForUpdatesViewModel> checkForUpdatesViewModel;
    const std::shared_ptr<plat::SPUUpdater> updater;
};
