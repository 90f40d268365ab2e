// The settings window's content: switches for automatic update checks and automatic downloads.
// They start from the updater's settings when the view first gets its place and write each change
// back to the updater; the download switch is disabled while automatic checking is off. Main
// thread only.
#pragma once

#include "platform/ui/Toolkit.h"
#include "platform/updater/SPUUpdater.h"

#include <memory>

class UpdaterSettingsView : public plat::ui::Screen {
public:
    explicit UpdaterSettingsView(std::shared_ptr<plat::SPUUpdater> updater);
    plat::ui::AnyView body() const override;

    const std::shared_ptr<plat::SPUUpdater> updater;
    plat::ui::State<bool> automaticallyChecksForUpdates;
    plat::ui::State<bool> automaticallyDownloadsUpdates;
};
