// What the "Check for Updates…" item needs to know: whether the updater can start a check now. It
// takes the updater's value at once and follows every change, on the thread that makes it.
#pragma once

#include "platform/foundation/Cancellable.h"
#include "platform/foundation/ObservableObject.h"
#include "platform/foundation/Published.h"
#include "platform/updater/SPUUpdater.h"

class CheckForUpdatesViewModel : public plat::ObservableObject {
public:
    explicit CheckForUpdatesViewModel(const plat::SPUUpdater& updater);

    plat::Published<bool> canCheckForUpdates{this, false};

private:
    // The observation lives as long as the model; the updater itself is not kept.
    plat::AnyCancellable observation_;
};
