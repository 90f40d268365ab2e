#include "transport/TTRUploadCoordinator.h"

#include "transport/TTRApplication.h"
#include "transport/TTRConsoleLogger.h"
#include "transport/TTRPlatform.h"
#include "transport/TTRReachability.h"

#include <set>

std::shared_ptr<TTRUploadCoordinator> TTRUploadCoordinator::sharedInstance() {
    static auto* instance = [] {
        Configuration configuration;
        configuration.registrar = TTRRegistrar::sharedInstance();
        auto* coordinator =
            new std::shared_ptr<TTRUploadCoordinator>(makeCoordinator(std::move(configuration)));
        (*coordinator)->startTimer();
        return coordinator;
    }();
    return *instance;
}

std::shared_ptr<TTRUploadCoordinator> TTRUploadCoordinator::makeCoordinator(Configuration configuration) {
    return std::shared_ptr<TTRUploadCoordinator>(new TTRUploadCoordinator(std::move(configuration)));
}

TTRUploadCoordinator::TTRUploadCoordinator(Configuration configuration)
    : configuration_(std::move(configuration)),
      coordinationQueue_(plat::DispatchQueue::serial("com.tessera.TTRUploadCoordinator")) {
    if (!configuration_.registrar) configuration_.registrar = TTRRegistrar::sharedInstance();
    registrar_ = configuration_.registrar;
    configuration_.registrar.reset();
    if (!configuration_.scheduler) configuration_.scheduler = &plat::Scheduler::system();
    if (!configuration_.reachabilityFlags)
        configuration_.reachabilityFlags = [] { return TTRReachability::currentFlags(); };
    if (!configuration_.application) configuration_.application = &TTRApplication::sharedApplication();
}

void TTRUploadCoordinator::forceUploadForTarget(int64_t target) {
    std::weak_ptr<TTRUploadCoordinator> weak = weak_from_this();
    coordinationQueue_.async([weak, target] {
        auto self = weak.lock();
        if (!self) return;
        TTRLogDebug("Forcing an upload of target %ld", target);
        self->uploadTargets({target}, self->uploadConditions() | TTRUploadConditionHighPriority);
    });
}

void TTRUploadCoordinator::startTimer() {
    std::weak_ptr<TTRUploadCoordinator> weak = weak_from_this();
    coordinationQueue_.async([weak] {
        auto self = weak.lock();
        if (!self || self->timer_) return;
        self->timer_ = std::make_unique<plat::DispatchSourceTimer>(self->coordinationQueue_,
                                                                   *self->configuration_.scheduler);
        self->timer_->schedule(kTimerStart, kTimerInterval, kTimerLeeway);
        self->timer_->setEventHandler([weak] {
            if (auto coordinator = weak.lock()) coordinator->timerFired();
        });
        TTRLogDebug("%@", "Upload timer started");
        self->timer_->resume();
    });
}

void TTRUploadCoordinator::stopTimer() {
    if (!timer_) return;
    timer_->cancel();
    timer_.reset();
}

bool TTRUploadCoordinator::hasTimer() const {
    bool has = false;
    coordinationQueue_.sync([&] { has = timer_ != nullptr; });
    return has;
}

void TTRUploadCoordinator::timerFired() {
    if (configuration_.application->isRunningInBackground()) return;
    uint32_t conditions = uploadConditions();
    TTRLogDebug("%@", "Upload timer fired");
    std::vector<int64_t> targets;
    for (const auto& entry : uploaders())
        targets.push_back(entry.first);
    uploadTargets(std::move(targets), conditions);
}

void TTRUploadCoordinator::uploadTargets(std::vector<int64_t> targets, uint32_t conditions) {
    std::weak_ptr<TTRUploadCoordinator> weak = weak_from_this();
    coordinationQueue_.async([weak, targets = std::move(targets), conditions] {
        auto self = weak.lock();
        if (!self || (conditions & TTRUploadConditionNoNetwork)) return;
        auto uploaders = self->uploaders();
        for (int64_t target : targets) {
            auto found = uploaders.find(target);
            if (found != uploaders.end() && found->second) found->second->uploadTarget(target, conditions);
        }
    });
}

uint32_t TTRUploadCoordinator::uploadConditions() const {
    uint32_t flags = configuration_.reachabilityFlags();
    if (!TTRReachabilityFlagsReachable(flags)) return TTRUploadConditionNoNetwork;
    if (TTRReachabilityFlagsContainWWAN(flags)) return TTRUploadConditionMobileData;
    return TTRUploadConditionWifiData;
}

void TTRUploadCoordinator::signalToStoragesToCheckExpirations() {
    std::set<TTRStorageProtocol*> seen;
    for (const auto& entry : storages())
        if (entry.second && seen.insert(entry.second.get()).second) entry.second->checkForExpirations();
}

std::shared_ptr<TTRStorageProtocol> TTRUploadCoordinator::storageForTarget(int64_t target) const {
    auto table = storages();
    auto found = table.find(target);
    std::shared_ptr<TTRStorageProtocol> storage = found == table.end() ? nullptr : found->second;
    TTRAssert(storage != nullptr, "A storage must be registered for target %@", std::to_string(target));
    return storage;
}

std::map<int64_t, std::shared_ptr<TTRUploader>> TTRUploadCoordinator::uploaders() const {
    std::shared_ptr<TTRRegistrar> registrar = registrar_.lock();
    return registrar ? registrar->targetToUploader() : std::map<int64_t, std::shared_ptr<TTRUploader>>();
}

std::map<int64_t, std::shared_ptr<TTRStorageProtocol>> TTRUploadCoordinator::storages() const {
    std::shared_ptr<TTRRegistrar> registrar = registrar_.lock();
    return registrar ? registrar->targetToStorage()
                     : std::map<int64_t, std::shared_ptr<TTRStorageProtocol>>();
}

void TTRUploadCoordinator::appWillForeground(TTRApplicationProtocol&) {
    startTimer();
    signalToStoragesToCheckExpirations();
}

void TTRUploadCoordinator::appWillBackground(TTRApplicationProtocol&) {
    std::weak_ptr<TTRUploadCoordinator> weak = weak_from_this();
    coordinationQueue_.async([weak] {
        if (auto self = weak.lock()) self->stopTimer();
    });
}

void TTRUploadCoordinator::appWillTerminate(TTRApplicationProtocol&) {
    std::weak_ptr<TTRUploadCoordinator> weak = weak_from_this();
    coordinationQueue_.async([weak] {
        if (auto self = weak.lock()) self->stopTimer();
    });
}
