// The process-wide table from a target number to its uploader, its storage and its metrics
// controller, and the fan-out of lifecycle calls to uploaders and storages. Registrations are queued
// on the serial queue "com.tessera.TTRRegistrar"; lookups wait for them there, so a lookup after a
// registration sees it. Nothing is ever unregistered.
#pragma once

#include "transport/TTRLifecycleProtocol.h"
#include "transport/TTRStorageProtocol.h"
#include "transport/TTRUploader.h"

#include "platform/dispatch/DispatchQueue.h"

#include <cstdint>
#include <map>
#include <memory>

class TTRRegistrar : public TTRLifecycleProtocol, public std::enable_shared_from_this<TTRRegistrar> {
public:
    // The process-wide registrar; never destroyed.
    static std::shared_ptr<TTRRegistrar> sharedInstance();
    // A private registrar (tests).
    static std::shared_ptr<TTRRegistrar> makeRegistrar();

    // Asynchronous; the storage and metrics registrations also give the target's storage the
    // target's metrics controller as its delegate.
    void registerUploader(std::shared_ptr<TTRUploader> uploader, int64_t target);
    void registerStorage(std::shared_ptr<TTRStorageProtocol> storage, int64_t target);
    void registerMetricsController(std::shared_ptr<TTRMetricsControllerProtocol> controller, int64_t target);

    // Copies of the tables, read on the registrar queue (never call from that queue).
    std::map<int64_t, std::shared_ptr<TTRUploader>> targetToUploader() const;
    std::map<int64_t, std::shared_ptr<TTRStorageProtocol>> targetToStorage() const;
    std::map<int64_t, std::shared_ptr<TTRMetricsControllerProtocol>> targetToMetricsController() const;

    // Passes the call to every uploader, then every storage, once per target it is registered for.
    void appWillBackground(TTRApplicationProtocol& application) override;
    void appWillForeground(TTRApplicationProtocol& application) override;
    void appWillTerminate(TTRApplicationProtocol& application) override;

private:
    TTRRegistrar();
    // On the registrar queue.
    void setStorageDelegateForTarget(int64_t target);
    template <typename Call> void fanOut(Call call);

    plat::DispatchQueue registrarQueue_;
    std::map<int64_t, std::shared_ptr<TTRUploader>> targetToUploader_;
    std::map<int64_t, std::shared_ptr<TTRStorageProtocol>> targetToStorage_;
    std::map<int64_t, std::shared_ptr<TTRMetricsControllerProtocol>> targetToMetricsController_;
};

// The shared registrar's entries for a target; null when there is none.
std::shared_ptr<TTRStorageProtocol> TTRStorageInstanceForTarget(int64_t target);
// The target's storage only when it offers the promise operations.
std::shared_ptr<TTRStoragePromiseProtocol> TTRStoragePromiseInstanceForTarget(int64_t target);
std::shared_ptr<TTRMetricsControllerProtocol> TTRMetricsControllerInstanceForTarget(int64_t target);
