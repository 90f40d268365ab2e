// The stand-in's accounts, bearer tokens, registered devices and password-reset codes, kept in
// memory and seeded with one demo account. Thread-safe; every read returns a copy.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace standin {

// What a sign-in or sign-up form says about the device it comes from.
struct DeviceInfo {
    std::string uid;
    std::string name;
    std::string os;
    std::string platform;
};

struct Device {
    int64_t id = 0;
    std::string uid;
    std::string name;
    std::string os;
    std::string platform;
    std::string lastLoginAt; // ISO 8601 in UTC; empty when the device never signed in
};

// The account's current plan as the plan endpoint reports it.
struct Plan {
    std::string status; // "active" or "expired"
    std::string name;
    int64_t totalDays = 0;
    bool unlimited = false;
    std::string expiresAt;
};

struct Account {
    int64_t id = 0;
    std::string email; // empty for accounts made by device id alone
    std::string password;
    std::string uid;
    std::string createdAt;
    std::string radiusLogin;
    std::string radiusPassword;
    Plan plan;
    std::vector<Device> devices;
};

class AccountStore {
public:
    static constexpr const char* kDemoEmail = "demo@velmora.example";
    static constexpr const char* kDemoPassword = "velmora-demo";

    enum class TokenState { Valid, Unknown, Expired };
    struct TokenCheck {
        TokenState state = TokenState::Unknown;
        Account account; // filled when the token is valid
    };

    AccountStore();

    // A new bearer token when the address and password match an account, else nothing.
    // The device is registered (or its last sign-in updated) on success.
    std::optional<std::string> signInWithEmail(const std::string& email, const std::string& password,
                                               const DeviceInfo& device);
    // A new account and its first token; nothing when the address is taken.
    std::optional<std::string> signUpWithEmail(const std::string& email, const std::string& password,
                                               const DeviceInfo& device);
    // The same by device id and device password.
    std::optional<std::string> signInWithUid(const std::string& uid, const std::string& password,
                                             const DeviceInfo& device);
    std::optional<std::string> signUpWithUid(const std::string& uid, const std::string& password,
                                             const DeviceInfo& device);
    bool emailTaken(const std::string& email) const;

    TokenCheck check(const std::string& token) const;
    // Marks a token as expired; false when no such token was issued.
    bool expireToken(const std::string& token);

    std::vector<Device> devices(int64_t accountId) const;
    bool removeDevice(int64_t accountId, int64_t deviceId);
    // Removes the account and every token issued for it.
    bool removeAccount(int64_t accountId);
    bool setPassword(int64_t accountId, const std::string& password);

    // Starts a password reset: records a fresh six-digit code when the address is known.
    bool requestReset(const std::string& email);
    std::optional<std::string> resetCode(const std::string& email) const;
    // A token for the account when `code` is its pending reset code (which is then used up).
    std::optional<std::string> verifyReset(const std::string& email, const std::string& code);

private:
    Account* findByEmail(const std::string& email);
    Account* findByUid(const std::string& uid);
    Account& create(const std::string& email, const std::string& password, const std::string& uid);
    std::string issueToken(int64_t accountId);
    void registerDevice(Account& account, const DeviceInfo& device);
    std::string randomText(size_t length, const char* alphabet);

    mutable std::mutex mutex_;
    std::map<int64_t, Account> accounts_;
    struct TokenRecord {
        int64_t accountId = 0;
        bool expired = false;
    };
    std::map<std::string, TokenRecord> tokens_;
    std::map<std::string, std::string> resetCodes_; // e-mail (lower case) -> code
    int64_t nextAccountId_ = 1;
    int64_t nextDeviceId_ = 1;
    std::mt19937_64 random_;
};

} // namespace standin
