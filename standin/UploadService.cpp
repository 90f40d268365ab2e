#include "standin/UploadService.h"

namespace standin {

std::optional<UploadFault> UploadFault::named(const std::string& name) {
    std::string base = name;
    UploadFault fault;
    const std::string onceSuffix = "-once";
    if (base.size() > onceSuffix.size() &&
        base.compare(base.size() - onceSuffix.size(), onceSuffix.size(), onceSuffix) == 0) {
        fault.once = true;
        base.resize(base.size() - onceSuffix.size());
    }
    if (base == "400" || base == "404" || base == "429" || base == "500") {
        fault.kind = UploadFault::Kind::Status;
        fault.status = std::stoi(base);
    } else if (base == "drop") {
        fault.kind = UploadFault::Kind::Drop;
    } else if (base == "malformed") {
        fault.kind = UploadFault::Kind::Malformed;
    } else if (base == "redirect-301" || base == "redirect-302" || base == "redirect-307" ||
               base == "redirect-308") {
        fault.kind = UploadFault::Kind::Redirect;
        fault.status = std::stoi(base.substr(base.size() - 3));
    } else {
        return std::nullopt;
    }
    return fault;
}

const std::map<int64_t, std::string>& UploadService::uploadPaths() {
    static const std::map<int64_t, std::string> paths{{1000, "/v1/ttw/batchlog"},
                                                      {1001, "/v1/tlg/batchlog"},
                                                      {1002, "/v1/crw/batchlog"},
                                                      {1003, "/dummy/api/very/long"}};
    return paths;
}

std::string UploadService::redirectedPath(int64_t target) {
    return "/v1/redirected/" + std::to_string(target);
}

std::optional<int64_t> UploadService::targetForPath(const std::string& path) {
    for (const auto& [target, uploadPath] : uploadPaths())
        if (path == uploadPath || path == redirectedPath(target)) return target;
    return std::nullopt;
}

void UploadService::setFault(std::optional<int64_t> target, UploadFault fault) {
    std::lock_guard lock(mutex_);
    if (target)
        faults_[*target] = fault;
    else
        everyTargetFault_ = fault;
}

void UploadService::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    everyTargetFault_.reset();
}

std::optional<UploadFault> UploadService::takeFault(int64_t target) {
    std::lock_guard lock(mutex_);
    if (auto found = faults_.find(target); found != faults_.end()) {
        UploadFault fault = found->second;
        if (fault.once) faults_.erase(found);
        return fault;
    }
    std::optional<UploadFault> fault = everyTargetFault_;
    if (fault && fault->once) everyTargetFault_.reset();
    return fault;
}

void UploadService::setWait(std::optional<int64_t> target, std::optional<int64_t> millis) {
    std::lock_guard lock(mutex_);
    if (target) {
        waits_[*target] = millis;
    } else {
        waits_.clear();
        everyTargetWait_ = millis;
    }
}

std::optional<int64_t> UploadService::wait(int64_t target) const {
    std::lock_guard lock(mutex_);
    if (auto found = waits_.find(target); found != waits_.end()) return found->second;
    return everyTargetWait_;
}

size_t UploadService::append(UploadRecord record) {
    std::lock_guard lock(mutex_);
    records_.push_back(std::move(record));
    return records_.size() - 1;
}

std::vector<UploadRecord> UploadService::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::optional<UploadRecord> UploadService::record(size_t index) const {
    std::lock_guard lock(mutex_);
    if (index >= records_.size()) return std::nullopt;
    return records_[index];
}

void UploadService::reset() {
    std::lock_guard lock(mutex_);
    records_.clear();
    faults_.clear();
    everyTargetFault_.reset();
    waits_.clear();
    everyTargetWait_.reset();
}

} // namespace standin
