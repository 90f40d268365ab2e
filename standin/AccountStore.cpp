#include "standin/AccountStore.h"

#include "standin/TextCase.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>

namespace standin {
namespace {

std::string isoTime(std::chrono::system_clock::time_point when) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string isoNow() {
    return isoTime(std::chrono::system_clock::now());
}

std::string isoInDays(int days) {
    return isoTime(std::chrono::system_clock::now() + std::chrono::hours(24 * days));
}

constexpr const char* kTokenAlphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr const char* kDigits = "0123456789";

} // namespace

AccountStore::AccountStore() : random_(std::random_device{}()) {
    Account& demo = create(kDemoEmail, kDemoPassword, "");
    demo.createdAt = "2023-11-04T10:12:45Z";
    demo.plan = Plan{"active", "Yearly", 365, false, isoInDays(200)};
    demo.devices = {
        {nextDeviceId_++, "seed-mac", "Studio MacBook", "14.4.1", "macSA", "2024-05-02T08:15:00Z"},
        {nextDeviceId_++, "seed-phone", "Pixel 8", "14", "android", ""},
        {nextDeviceId_++, "seed-tv", "Living Room TV", "17.4", "tvOS", "2024-04-20T19:42:11Z"},
    };
}

Account& AccountStore::create(const std::string& email, const std::string& password, const std::string& uid) {
    Account account;
    account.id = nextAccountId_++;
    account.email = email;
    account.password = password;
    account.uid = uid;
    account.createdAt = isoNow();
    account.radiusLogin = "vm" + std::to_string(100000 + account.id);
    account.radiusPassword = randomText(20, kTokenAlphabet);
    // New accounts start on a trial so that the plan line of the main window has something to show.
    account.plan = Plan{"active", "Trial", 7, false, isoInDays(7)};
    return accounts_[account.id] = std::move(account);
}

Account* AccountStore::findByEmail(const std::string& email) {
    const std::string key = lower(email);
    for (auto& [id, account] : accounts_)
        if (!account.email.empty() && lower(account.email) == key) return &account;
    return nullptr;
}

Account* AccountStore::findByUid(const std::string& uid) {
    for (auto& [id, account] : accounts_)
        if (account.email.empty() && account.uid == uid) return &account;
    return nullptr;
}

std::string AccountStore::randomText(size_t length, const char* alphabet) {
    const size_t size = std::char_traits<char>::length(alphabet);
    std::uniform_int_distribution<size_t> pick(0, size - 1);
    std::string text;
    for (size_t i = 0; i < length; ++i)
        text.push_back(alphabet[pick(random_)]);
    return text;
}

std::string AccountStore::issueToken(int64_t accountId) {
    std::string token = randomText(48, kTokenAlphabet);
    tokens_[token] = TokenRecord{accountId, false};
    return token;
}

void AccountStore::registerDevice(Account& account, const DeviceInfo& device) {
    for (auto& known : account.devices) {
        if (!device.uid.empty() && known.uid == device.uid) {
            known.name = device.name;
            known.os = device.os;
            known.platform = device.platform;
            known.lastLoginAt = isoNow();
            return;
        }
    }
    account.devices.push_back(
        Device{nextDeviceId_++, device.uid, device.name, device.os, device.platform, isoNow()});
}

std::optional<std::string> AccountStore::signInWithEmail(const std::string& email,
                                                         const std::string& password,
                                                         const DeviceInfo& device) {
    std::lock_guard lock(mutex_);
    Account* account = findByEmail(email);
    if (!account || account->password != password) return std::nullopt;
    registerDevice(*account, device);
    return issueToken(account->id);
}

std::optional<std::string> AccountStore::signUpWithEmail(const std::string& email,
                                                         const std::string& password,
                                                         const DeviceInfo& device) {
    std::lock_guard lock(mutex_);
    if (findByEmail(email)) return std::nullopt;
    Account& account = create(email, password, device.uid);
    registerDevice(account, device);
    return issueToken(account.id);
}

std::optional<std::string> AccountStore::signInWithUid(const std::string& uid, const std::string& password,
                                                       const DeviceInfo& device) {
    std::lock_guard lock(mutex_);
    Account* account = findByUid(uid);
    if (!account || account->password != password) return std::nullopt;
    registerDevice(*account, device);
    return issueToken(account->id);
}

std::optional<std::string> AccountStore::signUpWithUid(const std::string& uid, const std::string& password,
                                                       const DeviceInfo& device) {
    std::lock_guard lock(mutex_);
    if (findByUid(uid)) return std::nullopt;
    Account& account = create("", password, uid);
    registerDevice(account, device);
    return issueToken(account.id);
}

bool AccountStore::emailTaken(const std::string& email) const {
    std::lock_guard lock(mutex_);
    const std::string key = lower(email);
    return std::any_of(accounts_.begin(), accounts_.end(), [&](const auto& entry) {
        return !entry.second.email.empty() && lower(entry.second.email) == key;
    });
}

AccountStore::TokenCheck AccountStore::check(const std::string& token) const {
    std::lock_guard lock(mutex_);
    auto it = tokens_.find(token);
    if (it == tokens_.end()) return {TokenState::Unknown, {}};
    if (it->second.expired) return {TokenState::Expired, {}};
    auto account = accounts_.find(it->second.accountId);
    if (account == accounts_.end()) return {TokenState::Unknown, {}};
    return {TokenState::Valid, account->second};
}

bool AccountStore::expireToken(const std::string& token) {
    std::lock_guard lock(mutex_);
    auto it = tokens_.find(token);
    if (it == tokens_.end()) return false;
    it->second.expired = true;
    return true;
}

std::vector<Device> AccountStore::devices(int64_t accountId) const {
    std::lock_guard lock(mutex_);
    auto it = accounts_.find(accountId);
    return it == accounts_.end() ? std::vector<Device>{} : it->second.devices;
}

bool AccountStore::removeDevice(int64_t accountId, int64_t deviceId) {
    std::lock_guard lock(mutex_);
    auto it = accounts_.find(accountId);
    if (it == accounts_.end()) return false;
    auto& devices = it->second.devices;
    auto removed = std::remove_if(devices.begin(), devices.end(),
                                  [&](const Device& device) { return device.id == deviceId; });
    if (removed == devices.end()) return false;
    devices.erase(removed, devices.end());
    return true;
}

bool AccountStore::removeAccount(int64_t accountId) {
    std::lock_guard lock(mutex_);
    if (accounts_.erase(accountId) == 0) return false;
    std::erase_if(tokens_, [&](const auto& entry) { return entry.second.accountId == accountId; });
    return true;
}

bool AccountStore::setPassword(int64_t accountId, const std::string& password) {
    std::lock_guard lock(mutex_);
    auto it = accounts_.find(accountId);
    if (it == accounts_.end()) return false;
    it->second.password = password;
    return true;
}

bool AccountStore::requestReset(const std::string& email) {
    std::lock_guard lock(mutex_);
    if (!findByEmail(email)) return false;
    resetCodes_[lower(email)] = randomText(6, kDigits);
    return true;
}

std::optional<std::string> AccountStore::resetCode(const std::string& email) const {
    std::lock_guard lock(mutex_);
    auto it = resetCodes_.find(lower(email));
    if (it == resetCodes_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> AccountStore::verifyReset(const std::string& email, const std::string& code) {
    std::lock_guard lock(mutex_);
    auto it = resetCodes_.find(lower(email));
    Account* account = findByEmail(email);
    if (it == resetCodes_.end() || it->second != code || !account) return std::nullopt;
    resetCodes_.erase(it);
    return issueToken(account->id);
}

} // namespace standin
