#include "standin/RequestLog.h"

namespace standin {

std::vector<std::string> RequestLogEntry::headerNames() const {
    std::vector<std::string> names;
    names.reserve(headers.size());
    for (const auto& header : headers)
        names.push_back(header.first);
    return names;
}

void RequestLog::append(RequestLogEntry entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
}

std::vector<RequestLogEntry> RequestLog::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

void RequestLog::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

} // namespace standin
