// The stand-in's installations service state: registered installations with their refresh token
// and the auth tokens issued for them, the lifetime new auth tokens get, and the faults tests arm
// per operation. Kept in memory; thread-safe, every read returns a copy.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace standin {

// One registered installation.
struct Installation {
    std::string project;
    std::string tid;
    std::string appId;
    std::string refreshToken;
    std::vector<std::string> authTokens; // every token issued, oldest first
};

// A fault of one installations operation.
struct InstallationFault {
    enum class Kind {
        Status,        // the error reply of `status`
        MalformedJson, // 200 with a body that is not complete JSON
        BadExpiry,     // the normal reply, but "expiresIn" set to `value`
    };
    Kind kind = Kind::Status;
    int status = 500;
    std::string value; // the "expiresIn" text of BadExpiry
    bool once = false; // cleared after it fired once

    // The fault for its admin name: "500", "500-once" (any of 400, 401, 403, 404, 429, 500, 503,
    // with or without "-once"), "malformed-json" or "bad-expiry".
    static std::optional<InstallationFault> named(const std::string& name);
};

class InstallationRegistry {
public:
    enum class Operation { Register, Token, Delete };
    static constexpr int64_t kDefaultTokenLifetime = 604800;

    // The operation for its admin name: "register", "token" or "delete".
    static std::optional<Operation> operationNamed(const std::string& name);

    // Registers (or registers again) `tid` of `project`; an empty tid gets one made here, as does
    // any tid when setNextTID() asked for a particular one. Returns the stored installation with
    // its new refresh token and first auth token.
    Installation registerInstallation(const std::string& project, const std::string& tid,
                                      const std::string& appId);
    // The installation, when it exists.
    std::optional<Installation> find(const std::string& project, const std::string& tid) const;
    // A new auth token for the installation; none when it does not exist.
    std::optional<std::string> issueAuthToken(const std::string& project, const std::string& tid);
    // False when it did not exist.
    bool remove(const std::string& project, const std::string& tid);
    std::vector<Installation> all() const;

    int64_t tokenLifetime() const;
    void setTokenLifetime(int64_t seconds);
    // The tid the next registration answers with, whatever the client sent (once).
    void setNextTID(std::string tid);

    void setFault(Operation operation, InstallationFault fault);
    void clearFaults();
    // The armed fault of the operation; a one-time fault is disarmed by taking it.
    std::optional<InstallationFault> takeFault(Operation operation);

    // Back to the start: no installations, faults or pending tid, the default token lifetime.
    void reset();

private:
    std::string randomToken(size_t bytes);

    mutable std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, Installation> installations_;
    std::map<Operation, InstallationFault> faults_;
    std::optional<std::string> nextTID_;
    int64_t tokenLifetime_ = kDefaultTokenLifetime;
    std::mt19937_64 random_{std::random_device{}()};
};

} // namespace standin
