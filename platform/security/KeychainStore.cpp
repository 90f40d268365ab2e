#include "platform/security/KeychainStore.h"

#include "platform/foundation/Beneath.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/log/OSLog.h"
#include "platform/security/KeychainFile.h"
#include "platform/security/KeychainQuery.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace plat {

namespace {

constexpr OSStatus errSecNotAvailable = -25291;

std::string filePrefix(const std::string& itemClass) {
    if (itemClass == kSecClassKey) return "key-";
    return itemClass == kSecClassInternetPassword ? "internet-" : "generic-";
}

// A file name that any service text maps to, one-to-one for names of ordinary length.
std::string encodeDomain(const std::string& domain) {
    std::string out;
    for (unsigned char c : domain) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    if (out.size() > 160) {
        // File names are limited to 255 bytes; a checksum keeps long names apart.
        char buf[16];
        std::snprintf(buf, sizeof buf, "~%08x", KeychainFile::crc32(domain));
        out = out.substr(0, 160) + buf;
    }
    return out;
}

const OSLog& storeLog() {
    static const OSLog* log = new OSLog("io.velmora.security", "keychain");
    return *log;
}

std::array<uint8_t, 16> newItemId() {
    static std::mutex* m = new std::mutex;
    static std::random_device* device = new std::random_device;
    std::lock_guard lock(*m);
    std::array<uint8_t, 16> id{};
    for (size_t i = 0; i < id.size(); i += 4) {
        uint32_t r = (*device)();
        for (size_t k = 0; k < 4; ++k)
            id[i + k] = static_cast<uint8_t>(r >> (8 * k));
    }
    return id;
}

bool ensureFolder(const fs::path& dir) {
    const paths::OwnFolder folder = paths::OwnFolder::open(dir, true);
    if (!folder.isOpen()) return false;
    struct stat st {};
    if (::fstat(folder.fd(), &st) != 0) return false;
    // A folder made earlier with a looser mode is tightened: it holds secrets.
    if ((st.st_mode & 07777) == 0700) return true;
    const FileDescriptor listable = beneath::listable(folder.fd());
    return listable && ::fchmod(listable.get(), 0700) == 0;
}

} // namespace

// The files one operation reads and writes, loaded lazily while the lock is held.
class KeychainStore::Session {
public:
    struct File {
        std::vector<KeychainItem> items;
        bool dirty = false;
    };

    Session(const KeychainStore& store, fs::path dir) : store_(store), dir_(std::move(dir)) {}

    OSStatus load(const fs::path& path, File** out) {
        auto it = files_.find(path);
        if (it == files_.end()) {
            File file;
            paths::OwnFile read = paths::readOwnFile(path);
            switch (read.state) {
            case paths::OwnFile::State::Refused:
            case paths::OwnFile::State::Unreadable:
                // Secrets another user could have planted or may change are neither used nor replaced.
                storeLog().error(read.problem + "; leaving it untouched");
                return errSecIO;
            case paths::OwnFile::State::TooLarge:
                // Damaged, and left in place as any damaged file is.
                storeLog().error(read.problem + "; the store file is damaged; leaving it untouched");
                return errSecDecode;
            case paths::OwnFile::State::Read: {
                auto items = KeychainFile::decode(read.bytes);
                if (!items) {
                    // Left in place: the store never replaces what it cannot read.
                    storeLog().error("store file " + path.string() + " is damaged; leaving it untouched");
                    return errSecDecode;
                }
                file.items = std::move(*items);
                break;
            }
            case paths::OwnFile::State::Absent:
                break;
            }
            it = files_.emplace(path, std::move(file)).first;
        }
        *out = &it->second;
        return errSecSuccess;
    }

    // The files a query can match in, in name order; for a reference, the file it names first (an
    // update may have moved the item to another service since the reference was made).
    std::vector<fs::path> candidates(const KeychainQuery& query) const {
        if (auto domain = query.domain()) return {store_.fileFor(query.itemClass, *domain)};
        std::vector<fs::path> out;
        std::string prefix = filePrefix(query.itemClass);
        for (const std::string& name : paths::folderNames(dir_).value_or(std::vector<std::string>{})) {
            if (name.rfind(prefix, 0) == 0 && name.size() > 6 && name.substr(name.size() - 6) == ".items")
                out.push_back(dir_ / name);
        }
        std::sort(out.begin(), out.end());
        if (query.reference) {
            fs::path named = store_.fileFor(query.itemClass, query.reference->domain);
            std::stable_partition(out.begin(), out.end(), [&](const fs::path& p) { return p == named; });
        }
        return out;
    }

    OSStatus commit() {
        for (auto& [path, file] : files_) {
            if (!file.dirty) continue;
            if (file.items.empty()) {
                std::optional<paths::FileProblem> problem = paths::removeOwn(path);
                if (problem && problem->error != ENOENT) return errSecIO;
            } else if (!paths::writeFileAtomically(path, KeychainFile::encode(file.items), fs::perms(0600))) {
                return errSecIO;
            }
        }
        return errSecSuccess;
    }

private:
    const KeychainStore& store_;
    fs::path dir_;
    std::map<fs::path, File> files_;
};

KeychainStore& KeychainStore::shared() {
    static KeychainStore* store = new KeychainStore([] { return paths::keychainDir(); });
    return *store;
}

KeychainStore::KeychainStore(std::function<fs::path()> folder) : folder_(std::move(folder)) {}

fs::path KeychainStore::fileFor(const std::string& itemClass, const std::string& domain) const {
    return folder_() / (filePrefix(itemClass) + encodeDomain(domain) + ".items");
}

std::optional<std::string> KeychainStore::refusal() {
    std::lock_guard lock(mutex_);
    return paths::refusedFileIn(folder_(), ".items");
}

void KeychainStore::failNext(OSStatus status, KeychainOperation operation) {
    std::lock_guard lock(hookMutex_);
    faults_.emplace_back(operation, status);
}

void KeychainStore::clearFaults() {
    std::lock_guard lock(hookMutex_);
    faults_.clear();
}

void KeychainStore::setObserver(Observer observer) {
    std::lock_guard lock(hookMutex_);
    observer_ = std::move(observer);
}

std::optional<OSStatus> KeychainStore::intercept(KeychainOperation op, const Object::Dict& query,
                                                 const Object::Dict* attributes) {
    Observer observer;
    std::optional<OSStatus> fault;
    {
        std::lock_guard lock(hookMutex_);
        observer = observer_;
        auto it = std::find_if(faults_.begin(), faults_.end(), [op](const auto& f) {
            return f.first == KeychainOperation::Any || f.first == op;
        });
        if (it != faults_.end()) {
            fault = it->second;
            faults_.erase(it);
        }
    }
    if (observer) observer(op, query, attributes);
    return fault;
}

OSStatus KeychainStore::run(bool write, const std::function<OSStatus(Session&)>& body) {
    std::lock_guard lock(mutex_);
    fs::path dir = folder_();
    if (!ensureFolder(dir)) return errSecNotAvailable;
    paths::FileProblem lockProblem;
    const FileDescriptor lockFile = paths::openOwnFile(dir / ".lock", O_RDWR | O_CREAT, &lockProblem);
    if (!lockFile) {
        if (lockProblem.refused) storeLog().error(lockProblem.text + "; leaving it untouched");
        return errSecNotAvailable;
    }
    int rc;
    do {
        rc = ::flock(lockFile.get(), write ? LOCK_EX : LOCK_SH);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return errSecNotAvailable;
    // A writer killed mid-write left a whole copy of a store file under a temporary name.
    if (openedFolders_.insert(dir).second) {
        if (size_t removed = paths::removeStaleTemporaryFiles(dir))
            storeLog().notice("removed " + std::to_string(removed) +
                              " temporary files of interrupted writes");
    }
    Session session(*this, dir);
    OSStatus status = body(session);
    if (status == errSecSuccess && write) status = session.commit();
    return status; // closing the lock file releases the lock
}

OSStatus KeychainStore::copyMatching(const Object::Dict& query, Object* result) {
    if (auto fault = intercept(KeychainOperation::CopyMatching, query, nullptr)) return *fault;
    KeychainQuery q;
    if (OSStatus st = KeychainQuery::parse(query, &q)) return st;
    Object::Array found;
    OSStatus status = run(false, [&](Session& s) {
        for (const auto& path : s.candidates(q)) {
            Session::File* file = nullptr;
            if (OSStatus st = s.load(path, &file)) return st;
            for (const auto& item : file->items) {
                if (!q.matches(item)) continue;
                found.push_back(q.resultFor(item));
                // A reference names one item, so the search ends at the first match.
                bool single = q.reference || q.itemRef;
                if (single || (q.limit != 0 && found.size() >= q.limit)) return errSecSuccess;
            }
        }
        return errSecSuccess;
    });
    if (status != errSecSuccess) return status;
    if (found.empty()) return errSecItemNotFound;
    if (result && q.returnCount() > 0) *result = q.limit == 1 ? found.front() : Object(std::move(found));
    return errSecSuccess;
}

OSStatus KeychainStore::add(const Object::Dict& attributes, Object* result) {
    if (auto fault = intercept(KeychainOperation::Add, attributes, &attributes)) return *fault;
    Object::Dict stored;
    if (OSStatus st = KeychainRules::normalise(attributes, true, &stored)) return st;
    KeychainQuery returns;
    returns.itemClass = stored.at(kSecClass).string();
    auto flag = [&](const char* key) {
        return attributes.count(key) && attributes.at(key).number().boolValue();
    };
    returns.returnData = flag(kSecReturnData);
    returns.returnAttributes = flag(kSecReturnAttributes);
    returns.returnRef = flag(kSecReturnRef);
    returns.returnPersistentRef = flag(kSecReturnPersistentRef);

    return run(true, [&](Session& s) {
        Session::File* file = nullptr;
        if (OSStatus st = s.load(fileFor(returns.itemClass, KeychainRules::domainOf(stored)), &file))
            return st;
        for (const auto& item : file->items)
            if (KeychainRules::sameIdentity(item.attributes, stored)) return errSecDuplicateItem;
        KeychainItem item{newItemId(), std::move(stored)};
        Date now = Date::now();
        item.attributes[kSecAttrCreationDate] = Object(now);
        item.attributes[kSecAttrModificationDate] = Object(now);
        if (result && returns.returnCount() > 0) *result = returns.resultFor(item);
        file->items.push_back(std::move(item));
        file->dirty = true;
        return errSecSuccess;
    });
}

OSStatus KeychainStore::update(const Object::Dict& query, const Object::Dict& attributesToUpdate) {
    if (auto fault = intercept(KeychainOperation::Update, query, &attributesToUpdate)) return *fault;
    KeychainQuery q;
    if (OSStatus st = KeychainQuery::parse(query, &q)) return st;
    Object::Dict changes;
    if (OSStatus st = KeychainRules::normalise(attributesToUpdate, false, &changes)) return st;
    if (changes.empty()) return errSecParam;

    return run(true, [&](Session& s) {
        // Changed items, by the file they end up in.
        std::vector<std::pair<Session::File*, std::array<uint8_t, 16>>> updated;
        for (const auto& path : s.candidates(q)) {
            Session::File* file = nullptr;
            if (OSStatus st = s.load(path, &file)) return st;
            for (size_t i = 0; i < file->items.size();) {
                KeychainItem& item = file->items[i];
                if (!q.matches(item)) {
                    ++i;
                    continue;
                }
                for (const auto& [key, value] : changes)
                    item.attributes[key] = value;
                // A bare accessibility replaces an access-control object, not the other way round.
                if (changes.count(kSecAttrAccessible) && !changes.count(kSecAttrAccessControl))
                    item.attributes.erase(kSecAttrAccessControl);
                item.attributes[kSecAttrModificationDate] = Object(Date::now());
                file->dirty = true;
                fs::path target = fileFor(q.itemClass, KeychainRules::domainOf(item.attributes));
                if (target == path) {
                    updated.emplace_back(file, item.id);
                    ++i;
                    continue;
                }
                Session::File* dest = nullptr;
                if (OSStatus st = s.load(target, &dest)) return st;
                dest->items.push_back(std::move(item));
                dest->dirty = true;
                updated.emplace_back(dest, dest->items.back().id);
                file->items.erase(file->items.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        if (updated.empty()) return errSecItemNotFound;
        for (const auto& [file, id] : updated) {
            const KeychainItem* self = nullptr;
            for (const auto& item : file->items)
                if (item.id == id) self = &item;
            for (const auto& other : file->items)
                if (&other != self && KeychainRules::sameIdentity(other.attributes, self->attributes))
                    return errSecDuplicateItem; // nothing is committed
        }
        return errSecSuccess;
    });
}

OSStatus KeychainStore::remove(const Object::Dict& query) {
    if (auto fault = intercept(KeychainOperation::Delete, query, nullptr)) return *fault;
    KeychainQuery q;
    if (OSStatus st = KeychainQuery::parse(query, &q)) return st;
    return run(true, [&](Session& s) {
        size_t removed = 0;
        for (const auto& path : s.candidates(q)) {
            Session::File* file = nullptr;
            if (OSStatus st = s.load(path, &file)) return st;
            size_t before = file->items.size();
            std::erase_if(file->items, [&](const KeychainItem& item) { return q.matches(item); });
            if (file->items.size() != before) {
                removed += before - file->items.size();
                file->dirty = true;
            }
        }
        return removed > 0 ? errSecSuccess : errSecItemNotFound;
    });
}

} // namespace plat
