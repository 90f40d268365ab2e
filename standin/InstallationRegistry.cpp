#include "standin/InstallationRegistry.h"

#include <set>

namespace standin {

std::optional<InstallationFault> InstallationFault::named(const std::string& name) {
    if (name == "malformed-json") return InstallationFault{Kind::MalformedJson, 200, "", false};
    if (name == "bad-expiry") return InstallationFault{Kind::BadExpiry, 200, "3600", false};
    static const std::set<std::string> statuses{"400", "401", "403", "404", "429", "500", "503"};
    const bool once = name.size() > 5 && name.compare(name.size() - 5, 5, "-once") == 0;
    const std::string code = once ? name.substr(0, name.size() - 5) : name;
    if (!statuses.count(code)) return std::nullopt;
    return InstallationFault{Kind::Status, std::stoi(code), "", once};
}

std::optional<InstallationRegistry::Operation> InstallationRegistry::operationNamed(const std::string& name) {
    if (name == "register") return Operation::Register;
    if (name == "token") return Operation::Token;
    if (name == "delete") return Operation::Delete;
    return std::nullopt;
}

std::string InstallationRegistry::randomToken(size_t bytes) {
    static const char* const digits = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < bytes; ++i) {
        const auto byte = static_cast<unsigned>(random_() & 0xFF);
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

Installation InstallationRegistry::registerInstallation(const std::string& project, const std::string& tid,
                                                        const std::string& appId) {
    std::lock_guard lock(mutex_);
    std::string chosen = tid;
    if (nextTID_) {
        chosen = *nextTID_;
        nextTID_.reset();
    } else if (chosen.empty()) {
        chosen = "f" + randomToken(10).substr(0, 21);
    }
    Installation installation{project, chosen, appId, "rt-" + randomToken(24), {"at-" + randomToken(24)}};
    installations_[{project, chosen}] = installation;
    return installation;
}

std::optional<Installation> InstallationRegistry::find(const std::string& project,
                                                       const std::string& tid) const {
    std::lock_guard lock(mutex_);
    auto it = installations_.find({project, tid});
    if (it == installations_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> InstallationRegistry::issueAuthToken(const std::string& project,
                                                                const std::string& tid) {
    std::lock_guard lock(mutex_);
    auto it = installations_.find({project, tid});
    if (it == installations_.end()) return std::nullopt;
    it->second.authTokens.push_back("at-" + randomToken(24));
    return it->second.authTokens.back();
}

bool InstallationRegistry::remove(const std::string& project, const std::string& tid) {
    std::lock_guard lock(mutex_);
    return installations_.erase({project, tid}) > 0;
}

std::vector<Installation> InstallationRegistry::all() const {
    std::lock_guard lock(mutex_);
    std::vector<Installation> list;
    for (const auto& [key, installation] : installations_)
        list.push_back(installation);
    return list;
}

int64_t InstallationRegistry::tokenLifetime() const {
    std::lock_guard lock(mutex_);
    return tokenLifetime_;
}

void InstallationRegistry::setTokenLifetime(int64_t seconds) {
    std::lock_guard lock(mutex_);
    tokenLifetime_ = seconds;
}

void InstallationRegistry::setNextTID(std::string tid) {
    std::lock_guard lock(mutex_);
    nextTID_ = std::move(tid);
}

void InstallationRegistry::setFault(Operation operation, InstallationFault fault) {
    std::lock_guard lock(mutex_);
    faults_[operation] = std::move(fault);
}

void InstallationRegistry::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::optional<InstallationFault> InstallationRegistry::takeFault(Operation operation) {
    std::lock_guard lock(mutex_);
    auto it = faults_.find(operation);
    if (it == faults_.end()) return std::nullopt;
    InstallationFault fault = it->second;
    if (fault.once) faults_.erase(it);
    return fault;
}

void InstallationRegistry::reset() {
    std::lock_guard lock(mutex_);
    installations_.clear();
    faults_.clear();
    nextTID_.reset();
    tokenLifetime_ = kDefaultTokenLifetime;
}

} // namespace standin
