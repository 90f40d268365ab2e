#include "app/views/UpdaterSettingsView.h"

using namespace plat::ui;

UpdaterSettingsView::UpdaterSettingsView(std::shared_ptr<plat::SPUUpdater> updater)
    : updater(std::move(updater)),
      automaticallyChecksForUpdates(this->updater->automaticallyChecksForUpdates()),
      automaticallyDownloadsUpdates(this->updater->automaticallyDownloadsUpdates()) {}

AnyView UpdaterSettingsView::body() const {
    auto target = updater;
    return VStack({
                      Toggle("Automatically check for updates", automaticallyChecksForUpdates.binding())
                          .onChange<bool>(automaticallyChecksForUpdates.get(),
                                          [target](const bool& value) {
                                              target->setAutomaticallyChecksForUpdates(value);
                                          }),
                      Toggle("Automatically download updates", automaticallyDownloadsUpdates.binding())
                          .disabled(!automaticallyChecksForUpdates.get())
                          .onChange<bool>(automaticallyDownloadsUpdates.get(),
                                          [target](const bool& value) {
                                              target->setAutomaticallyDownloadsUpdates(value);
                                          }),
                  })
        .padding();
}
