#include "app/views/CheckForUpdatesViewModel.h"

CheckForUpdatesViewModel::CheckForUpdatesViewModel(const plat::SPUUpdater& updater) {
    canCheckForUpdates = false;
    observation_ =
        updater.canCheckForUpdates().sink([this](const bool& value) { canCheckForUpdates = value; });
}
