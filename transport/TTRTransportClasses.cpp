#include "transport/TTRTransportClasses.h"

#include "transport/TTRApplication.h"
#include "transport/TTRConsoleLogger.h"
#include "transport/TTRFlatFileStorage.h"
#include "transport/TTRLifecycle.h"
#include "transport/TTRMetricsController.h"
#include "transport/TTRRegistrar.h"
#include "transport/TTRUploadCoordinator.h"
#include "transport/TTWUploader.h"

#include "core/TSRClassRegistry.h"

#include <mutex>

namespace {

TSRClass loadOnlyClass(const char* name, std::function<void()> load) {
    TSRClass cls;
    cls.name = name;
    cls.load = std::move(load);
    return cls;
}

} // namespace

void TTRRegisterTransportClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        TSRClassRegistry& registry = TSRClassRegistry::shared();
        registry.registerClass(loadOnlyClass("TTWUploader", [] {
            std::shared_ptr<TTWUploader> uploader = TTWUploader::sharedInstance();
            for (int64_t target : kTTWUploaderTargets)
                TTRRegistrar::sharedInstance()->registerUploader(uploader, target);
        }));
        registry.registerClass(loadOnlyClass("TTRFlatFileStorage", [] {
            std::shared_ptr<TTRFlatFileStorage> storage = TTRFlatFileStorage::sharedInstance();
            // Creating the coordinator starts its timer: the first upload pass comes 0.5 s later.
            storage->setUploadCoordinator(TTRUploadCoordinator::sharedInstance());
            for (long long target : kTTRStorageTargets)
                TTRRegistrar::sharedInstance()->registerStorage(storage, target);
            storage->checkForExpirations();
        }));
        registry.registerClass(loadOnlyClass("TTRLifecycle", [] { TTRLifecycle::sharedInstance(); }));
        registry.registerClass(loadOnlyClass("TTRMetricsController", [] {
            std::shared_ptr<TTRMetricsController> controller = TTRMetricsController::sharedInstance();
            for (int64_t target : kTTRMetricsControllerTargets)
                TTRRegistrar::sharedInstance()->registerMetricsController(controller, target);
        }));
        registry.registerClass(loadOnlyClass("TTRApplication", [] {
            TTRLogDebug(
                "TTR is initializing. Please note that if you quit the app via the debugger and not through "
                "a "
                "lifecycle event, event data will remain on disk but storage won't have a reference to them "
                "since the singleton wasn't saved to disk.");
            TTRApplication::sharedApplication();
        }));
    });
}
