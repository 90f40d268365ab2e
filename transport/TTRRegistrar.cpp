#include "transport/TTRRegistrar.h"

#include "transport/TTRConsoleLogger.h"

#include <sstream>

namespace {

std::string describe(const void* object) {
    std::ostringstream out;
    out << object;
    return out.str();
}

} // namespace

std::shared_ptr<TTRRegistrar> TTRRegistrar::sharedInstance() {
    static auto* instance = new std::shared_ptr<TTRRegistrar>(makeRegistrar());
    return *instance;
}

std::shared_ptr<TTRRegistrar> TTRRegistrar::makeRegistrar() {
    return std::shared_ptr<TTRRegistrar>(new TTRRegistrar());
}

TTRRegistrar::TTRRegistrar() : registrarQueue_(plat::DispatchQueue::serial("com.tessera.TTRRegistrar")) {}

void TTRRegistrar::registerUploader(std::shared_ptr<TTRUploader> uploader, int64_t target) {
    std::weak_ptr<TTRRegistrar> weak = weak_from_this();
    registrarQueue_.async([weak, uploader, target] {
        auto self = weak.lock();
        if (!self) return;
        TTRLogDebug("Registered an uploader: %@ for target:%ld", describe(uploader.get()), target);
        self->targetToUploader_[target] = uploader;
    });
}

void TTRRegistrar::registerStorage(std::shared_ptr<TTRStorageProtocol> storage, int64_t target) {
    std::weak_ptr<TTRRegistrar> weak = weak_from_this();
    registrarQueue_.async([weak, storage, target] {
        auto self = weak.lock();
        if (!self) return;
        TTRLogDebug("Registered storage: %@ for target:%ld", describe(storage.get()), target);
        self->targetToStorage_[target] = storage;
        self->setStorageDelegateForTarget(target);
    });
}

void TTRRegistrar::registerMetricsController(std::shared_ptr<TTRMetricsControllerProtocol> controller,
                                             int64_t target) {
    std::weak_ptr<TTRRegistrar> weak = weak_from_this();
    registrarQueue_.async([weak, controller, target] {
        auto self = weak.lock();
        if (!self) return;
        TTRLogDebug("Registered metrics controller: %@ for target:%ld", describe(controller.get()), target);
        self->targetToMetricsController_[target] = controller;
        self->setStorageDelegateForTarget(target);
    });
}

void TTRRegistrar::setStorageDelegateForTarget(int64_t target) {
    auto storage = targetToStorage_.find(target);
    if (storage == targetToStorage_.end() || !storage->second) return;
    auto controller = targetToMetricsController_.find(target);
    // One storage object serves several targets, so the last registration decides its delegate.
    storage->second->setDelegate(controller == targetToMetricsController_.end() ? nullptr
                                                                                : controller->second);
}

std::map<int64_t, std::shared_ptr<TTRUploader>> TTRRegistrar::targetToUploader() const {
    std::map<int64_t, std::shared_ptr<TTRUploader>> copy;
    registrarQueue_.sync([&] { copy = targetToUploader_; });
    return copy;
}

std::map<int64_t, std::shared_ptr<TTRStorageProtocol>> TTRRegistrar::targetToStorage() const {
    std::map<int64_t, std::shared_ptr<TTRStorageProtocol>> copy;
    registrarQueue_.sync([&] { copy = targetToStorage_; });
    return copy;
}

std::map<int64_t, std::shared_ptr<TTRMetricsControllerProtocol>>
TTRRegistrar::targetToMetricsController() const {
    std::map<int64_t, std::shared_ptr<TTRMetricsControllerProtocol>> copy;
    registrarQueue_.sync([&] { copy = targetToMetricsController_; });
    return copy;
}

template <typename Call> void TTRRegistrar::fanOut(Call call) {
    for (const auto& [target, uploader] : targetToUploader())
        if (uploader) call(*uploader);
    for (const auto& [target, storage] : targetToStorage())
        if (storage) call(*storage);
}

void TTRRegistrar::appWillBackground(TTRApplicationProtocol& application) {
    fanOut([&](TTRLifecycleProtocol& part) { part.appWillBackground(application); });
}

void TTRRegistrar::appWillForeground(TTRApplicationProtocol& application) {
    fanOut([&](TTRLifecycleProtocol& part) { part.appWillForeground(application); });
}

void TTRRegistrar::appWillTerminate(TTRApplicationProtocol& application) {
    fanOut([&](TTRLifecycleProtocol& part) { part.appWillTerminate(application); });
}

std::shared_ptr<TTRStorageProtocol> TTRStorageInstanceForTarget(int64_t target) {
    auto table = TTRRegistrar::sharedInstance()->targetToStorage();
    auto found = table.find(target);
    return found == table.end() ? nullptr : found->second;
}

std::shared_ptr<TTRStoragePromiseProtocol> TTRStoragePromiseInstanceForTarget(int64_t target) {
    return std::dynamic_pointer_cast<TTRStoragePromiseProtocol>(TTRStorageInstanceForTarget(target));
}

std::shared_ptr<TTRMetricsControllerProtocol> TTRMetricsControllerInstanceForTarget(int64_t target) {
    auto table = TTRRegistrar::sharedInstance()->targetToMetricsController();
    auto found = table.find(target);
    return found == table.end() ? nullptr : found->second;
}
