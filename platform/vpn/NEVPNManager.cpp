#include "platform/vpn/NEVPNManager.h"

#include "platform/vpn/NEVPNError.h"
#include "platform/vpn/NEVPNProfileFile.h"
#include "platform/vpn/ProfileFields.h"

namespace plat {

using namespace profile_fields;

namespace {

void complete(const NEVPNManager::Completion& completion, std::optional<Error> error) {
    if (completion) completion(std::move(error));
}

// What the platform checks before it accepts a profile.
bool valid(const Object::Dict& profile) {
    Object root(profile);
    const Object& protocol = root[kProtocol];
    if (!protocol.isDict()) return false;
    std::optional<std::string> server = readString(protocol, "serverAddress");
    return server && !server->empty();
}

} // namespace

NEVPNManager& NEVPNManager::shared() {
    static NEVPNManager* manager = new NEVPNManager();
    return *manager;
}

NEVPNManager::NEVPNManager(Scheduler& scheduler, NotificationCenter& center)
    : queue_(DispatchQueue::serial("plat.vpn.configuration")),
      connection_(std::make_shared<NEVPNConnection>(queue_, scheduler, center)) {}

NEVPNManager::~NEVPNManager() {
    // Queued work holds the connection, not the manager's fields, except through `this`: let it end.
    queue_.sync([] {});
}

void NEVPNManager::enqueue(std::function<void()> work) {
    connection_->requestQueued();
    queue_.async([connection = connection_, work = std::move(work)] {
        work();
        connection->requestDone();
    });
}

bool NEVPNManager::finishPendingStop(Duration limit) {
    return connection_->waitUntilSettled(
        std::chrono::steady_clock::now() +
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(limit));
}

void NEVPNManager::loadFromPreferences(Completion completion) {
    enqueue([this, completion = std::move(completion)] {
        if (auto error = fault(Operation::load)) return complete(completion, error);
        Object::Dict profile;
        switch (NEVPNProfileFile::read(&profile)) {
        case NEVPNProfileFile::ReadResult::corrupt:
        case NEVPNProfileFile::ReadResult::refused:
            return complete(completion, makeNEVPNError(NEVPNError::configurationReadWriteFailed));
        case NEVPNProfileFile::ReadResult::missing:
            apply({});
            {
                std::lock_guard lock(mutex_);
                knownGeneration_ = 0;
            }
            connection_->profileLoaded(false, NEVPNProfileFile::tunnelState());
            break;
        case NEVPNProfileFile::ReadResult::ok:
            apply(profile);
            {
                std::lock_guard lock(mutex_);
                knownGeneration_ = readInt(Object(profile), kGeneration, 0);
            }
            connection_->profileLoaded(true, NEVPNProfileFile::tunnelState());
            break;
        }
        complete(completion, std::nullopt);
    });
}

void NEVPNManager::saveToPreferences(Completion completion) {
    enqueue([this, profile = snapshot(), completion = std::move(completion)]() mutable {
        if (auto error = fault(Operation::save)) return complete(completion, error);
        if (!valid(profile)) return complete(completion, makeNEVPNError(NEVPNError::configurationInvalid));

        Object::Dict stored;
        int64_t storedGeneration = 0;
        if (NEVPNProfileFile::read(&stored) == NEVPNProfileFile::ReadResult::ok) {
            storedGeneration = readInt(Object(stored), kGeneration, 0);
            std::lock_guard lock(mutex_);
            if (knownGeneration_ != storedGeneration)
                return complete(completion, makeNEVPNError(NEVPNError::configurationStale));
        }
        profile[kGeneration] = Object(storedGeneration + 1);
        if (!NEVPNProfileFile::write(profile))
            return complete(completion, makeNEVPNError(NEVPNError::configurationReadWriteFailed));
        {
            std::lock_guard lock(mutex_);
            knownGeneration_ = storedGeneration + 1;
        }
        connection_->profileSaved(readBool(Object(profile), kEnabled, false));
        complete(completion, std::nullopt);
    });
}

void NEVPNManager::removeFromPreferences(Completion completion) {
    enqueue([this, completion = std::move(completion)] {
        if (auto error = fault(Operation::remove)) return complete(completion, error);
        if (!NEVPNProfileFile::remove())
            return complete(completion, makeNEVPNError(NEVPNError::configurationReadWriteFailed));
        {
            std::lock_guard lock(mutex_);
            knownGeneration_ = 0;
        }
        connection_->profileRemoved();
        complete(completion, std::nullopt);
    });
}

Object::Dict NEVPNManager::snapshot() const {
    std::lock_guard lock(mutex_);
    Object::Dict d;
    writeOptional(d, kLocalizedDescription, localizedDescription_);
    d[kEnabled] = Object(enabled_);
    d[kOnDemandEnabled] = Object(onDemandEnabled_);
    Object::Array rules;
    for (const auto& rule : onDemandRules_)
        if (rule) rules.push_back(Object(rule->toDict()));
    d[kOnDemandRules] = Object(std::move(rules));
    if (protocol_) d[kProtocol] = Object(protocol_->toDict());
    return d;
}

void NEVPNManager::apply(const Object::Dict& stored) {
    Object profile(stored);
    std::vector<std::shared_ptr<NEOnDemandRule>> rules;
    if (const Object::Array* list = profile[kOnDemandRules].asArray())
        for (const Object& entry : *list)
            if (auto rule = NEOnDemandRule::fromDict(entry)) rules.push_back(std::move(rule));
    std::shared_ptr<NEVPNProtocol> protocol = NEVPNProtocol::fromDict(profile[kProtocol]);

    std::lock_guard lock(mutex_);
    localizedDescription_ = readString(profile, kLocalizedDescription);
    enabled_ = readBool(profile, kEnabled, false);
    onDemandEnabled_ = readBool(profile, kOnDemandEnabled, false);
    onDemandRules_ = std::move(rules);
    protocol_ = std::move(protocol);
}

std::optional<std::string> NEVPNManager::localizedDescription() const {
    std::lock_guard lock(mutex_);
    return localizedDescription_;
}
void NEVPNManager::setLocalizedDescription(std::optional<std::string> description) {
    std::lock_guard lock(mutex_);
    localizedDescription_ = std::move(description);
}
bool NEVPNManager::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}
void NEVPNManager::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
}
bool NEVPNManager::isOnDemandEnabled() const {
    std::lock_guard lock(mutex_);
    return onDemandEnabled_;
}
void NEVPNManager::setOnDemandEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    onDemandEnabled_ = enabled;
}
std::vector<std::shared_ptr<NEOnDemandRule>> NEVPNManager::onDemandRules() const {
    std::lock_guard lock(mutex_);
    return onDemandRules_;
}
void NEVPNManager::setOnDemandRules(std::vector<std::shared_ptr<NEOnDemandRule>> rules) {
    std::lock_guard lock(mutex_);
    onDemandRules_ = std::move(rules);
}
std::shared_ptr<NEVPNProtocol> NEVPNManager::protocolConfiguration() const {
    std::lock_guard lock(mutex_);
    return protocol_;
}
void NEVPNManager::setProtocolConfiguration(std::shared_ptr<NEVPNProtocol> protocol) {
    std::lock_guard lock(mutex_);
    protocol_ = std::move(protocol);
}

std::optional<Error> NEVPNManager::fault(Operation operation) const {
    std::lock_guard lock(mutex_);
    auto it = faults_.find(operation);
    if (it == faults_.end()) return std::nullopt;
    return it->second;
}

void NEVPNManager::setFaultForTesting(Operation operation, std::optional<Error> error) {
    if (operation == Operation::start) {
        connection_->setStartFault(std::move(error));
        return;
    }
    std::lock_guard lock(mutex_);
    if (error)
        faults_[operation] = std::move(*error);
    else
        faults_.erase(operation);
}

void NEVPNManager::resetForTesting(Scheduler& scheduler) {
    queue_.sync([] {});
    connection_->resetForTesting(scheduler);
    std::lock_guard lock(mutex_);
    localizedDescription_.reset();
    enabled_ = false;
    onDemandEnabled_ = false;
    onDemandRules_.clear();
    protocol_.reset();
    knownGeneration_.reset();
    faults_.clear();
}

} // namespace plat
