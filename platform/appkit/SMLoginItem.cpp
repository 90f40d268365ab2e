#include "platform/appkit/SMLoginItem.h"

#include "platform/appkit/AutostartEntry.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"

#include <mutex>

namespace fs = std::filesystem;

namespace plat {

namespace {

std::mutex& listMutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}

// The stored list: absent when the file is unreadable, not the user's own or not a property list.
Object readList() {
    const paths::OwnFile file = paths::readOwnFile(smJobListPath());
    if (file.state == paths::OwnFile::State::Absent) return Object(Object::Array{});
    if (file.state != paths::OwnFile::State::Read) return {};
    return PropertyList::fromBytes(file.bytes);
}

bool writeList(const Object& jobs) {
    auto xml = PropertyList::toXML(jobs);
    return xml && paths::ensureDirectory(smJobListPath().parent_path()) &&
           paths::writeFileAtomically(smJobListPath(), *xml);
}

} // namespace

fs::path smJobListPath() {
    return paths::configDir() / "launchd-jobs.plist";
}

bool smWriteJobListForTesting(const Object& jobs) {
    std::lock_guard lock(listMutex());
    return writeList(jobs);
}

bool SMLoginItemSetEnabled(const std::string& identifier, bool enabled) {
    if (!AutostartEntry::path(identifier)) return false;
    std::lock_guard lock(listMutex());
    Object list = readList();
    // A damaged list is not overwritten: the jobs of other helpers live in it too.
    if (!list.isArray()) return false;
    Object::Array jobs;
    for (const auto& job : list.array()) {
        const Object& label = job["Label"];
        if (!(label.isString() && label.string() == identifier)) jobs.push_back(job);
    }
    if (enabled) {
        std::string program = AutostartEntry::currentExecutable().string();
        jobs.push_back(Object::Dict{{"Label", identifier}, {"OnDemand", true}, {"Program", program}});
        if (AutostartEntry::write(identifier, identifier, program)) return false;
    } else if (AutostartEntry::state(identifier) != AutostartEntry::State::Missing) {
        if (AutostartEntry::remove(identifier)) return false;
    }
    return writeList(Object(std::move(jobs)));
}

std::optional<Object::Array> SMCopyAllJobDictionaries(const std::string& domain) {
    if (domain != kSMDomainUserLaunchd) return std::nullopt;
    std::lock_guard lock(listMutex());
    Object list = readList();
    if (!list.isArray()) return std::nullopt;
    return list.array();
}

} // namespace plat
