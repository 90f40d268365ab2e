// Listens for the transport's three lifecycle notifications and offers each, in this order, to the
// upload coordinator and the registrar (which passes it on to uploaders and storages). The handlers
// run on the posting thread; the receivers move their work onto their own queues.
#pragma once

#include "transport/TTRApplicationProtocol.h"
#include "transport/TTRUploader.h"

#include "platform/foundation/NotificationCenter.h"

#include <functional>
#include <memory>

class TTRRegistrar;

class TTRLifecycle {
public:
    // Answers the upload coordinator at the moment of a notification (none: skip it).
    using CoordinatorSource = std::function<std::shared_ptr<TTRUploadCoordinatorProtocol>()>;

    // The process-wide observer on the default centre, over the shared wrapper, the shared storage's
    // coordinator and the shared registrar; never destroyed.
    static TTRLifecycle& sharedInstance();
    TTRLifecycle(plat::NotificationCenter& center, TTRApplicationProtocol& application,
                 CoordinatorSource coordinator, std::shared_ptr<TTRRegistrar> registrar);

    void applicationDidEnterBackgroundNotification(const plat::Notification& notification);
    void applicationWillEnterForegroundNotification(const plat::Notification& notification);
    void applicationWillTerminateNotification(const plat::Notification& notification);

private:
    TTRApplicationProtocol& application_;
    CoordinatorSource coordinator_;
    std::shared_ptr<TTRRegistrar> registrar_;
    plat::NotificationCenter::Token background_, foreground_, terminate_;
};
