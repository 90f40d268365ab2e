#include "standin/FaultTable.h"

namespace standin {

std::optional<Fault::Kind> Fault::kindNamed(const std::string& name) {
    if (name == "empty") return Kind::Empty;
    if (name == "nonjson") return Kind::NonJson;
    if (name == "notfound-json") return Kind::NotFoundJson;
    if (name == "delay") return Kind::Delay;
    return std::nullopt;
}

std::string FaultTable::normalise(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    return "/api/" + path;
}

void FaultTable::set(const std::string& path, Fault fault) {
    std::lock_guard lock(mutex_);
    faults_[normalise(path)] = fault;
}

void FaultTable::remove(const std::string& path) {
    std::lock_guard lock(mutex_);
    faults_.erase(normalise(path));
}

void FaultTable::clear() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::optional<Fault> FaultTable::find(const std::string& requestPath) const {
    std::lock_guard lock(mutex_);
    if (auto it = faults_.find(requestPath); it != faults_.end()) return it->second;
    std::optional<Fault> best;
    size_t bestLength = 0;
    for (const auto& [key, fault] : faults_) {
        if (key.empty() || key.back() != '*') continue;
        std::string prefix = key.substr(0, key.size() - 1);
        if (requestPath.rfind(prefix, 0) == 0 && (!best || prefix.size() > bestLength)) {
            best = fault;
            bestLength = prefix.size();
        }
    }
    return best;
}

} // namespace standin
