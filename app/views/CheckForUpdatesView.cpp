#include "app/views/CheckForUpdatesView.h"

using namespace plat::ui;

CheckForUpdatesView::CheckForUpdatesView(std::shared_ptr<plat::SPUUpdater> updater)
    : checkForUpdatesViewModel(std::make_shared<CheckForUpdatesViewModel>(*updater)),
      updater(std::move(updater)) {}

AnyView CheckForUpdatesView::body() const {
    return Button("Check for Updates…", [updater = updater] { updater->checkForUpdates(); })
        .disabled(!checkForUpdatesViewModel->canCheckForUpdates.get());
}
