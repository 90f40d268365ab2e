// The application's only road to the service's REST API. Endpoint wrappers build the URL and form
// fields; the three transport operations send them, parse the body into a JSON value and hand the
// result to the caller's completion on the main queue (at once on the caller's thread when the URL
// cannot be built). A GET or DELETE whose body carries the code "E0112" posts "logout" or
// "needsRelogin" instead of completing. The client keeps no mutable state; any thread may call it.
#pragma once

#include "platform/net/URLRequest.h"
#include "platform/object/Error.h"
#include "json/JSON.h"

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace plat {
class URLSession;
}

class Client {
public:
    struct Keys; // key texts of the API: app/network/ClientKeys.h

    // GET and DELETE: exactly one of error and JSON is present.
    using Completion = std::function<void(std::optional<plat::Error>, std::optional<JSON>)>;
    // Form posts: also the HTTP status whenever an HTTP reply arrived.
    using PostCompletion =
        std::function<void(std::optional<plat::Error>, std::optional<JSON>, std::optional<int>)>;
    // Device deletion: only whether it failed.
    using ErrorCompletion = std::function<void(std::optional<plat::Error>)>;
    // Form fields, name to value; the body carries them in the map's order.
    using Params = std::map<std::string, std::string>;

    // The one client, over the shared URL session; created on first use, never destroyed.
    static Client& shared();
    // A client over `session` (tests; the application uses shared()).
    explicit Client(plat::URLSession& session);
    virtual ~Client() = default;
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // The API base URL ending in "/api/": $VELMORA_API_BASE when set (a missing final "/" is
    // added), else the production service. Read once.
    static std::string serverPath();
    // Test hook: reads $VELMORA_API_BASE again on the next serverPath().
    static void reloadServerPathForTesting();
    // Seconds each request may go without a byte moving (connecting, sending or receiving) before
    // it ends with the "timed out" error: $VELMORA_REQUEST_TIMEOUT_SECONDS when it is a number
    // above 0 and up to 86400, else 10. Read on first use; a refused value gets one line on
    // standard error, once.
    static double requestTimeout();
    // Test hook: another request timeout than requestTimeout()'s; none goes back to it, reading
    // the variable again on the next request.
    static void setRequestTimeoutForTesting(std::optional<double> seconds);
    // The multipart boundary (50 characters).
    static constexpr const char* boundary = "--------------------------731964205518830247196052";

    // Identity fields sent with the sign-in and sign-up forms.
    const std::string& platform() const { return platform_; }     // "macSA"
    const std::string& deviceName() const { return deviceName_; } // the computer's name
    const std::string& os() const { return os_; }                 // "major.minor.patch"
    const std::string& appVersion() const { return appVersion_; } // the bundle's short version

    // "Accept" and "Cache-control"; authHeaders adds "Authorization: Bearer <token>" (the token
    // may be empty). Each call builds fresh fields.
    virtual plat::HTTPHeaderFields defaultHeaders() const;
    virtual plat::HTTPHeaderFields authHeaders() const;

    // ---- Endpoints ----
    virtual void signup(const std::string& uid, const std::string& password, PostCompletion completion);
    virtual void associateUser(const std::string& email, const std::string& password, const std::string& uid,
                               PostCompletion completion);
    virtual void loginWithUid(const std::string& uid, const std::string& password, PostCompletion completion);
    // Sends the stored device identifier as "uid".
    virtual void loginWithEmail(const std::string& email, const std::string& password,
                                PostCompletion completion);
    virtual void userInformation(Completion completion);
    virtual void userIp(Completion completion);
    virtual void userPlans(Completion completion);
    virtual void userCurrentPlan(Completion completion);
    virtual void userDelete(Completion completion);
    virtual void userRegions(Completion completion);
    virtual void userBestRegions(Completion completion); // the one GET without the bearer token
    virtual void IPSecConfiguration(const std::string& prot, Completion completion);
    virtual void openVPNConfiguration(const std::string& prot, Completion completion);
    virtual void resetPassword(const std::string& email, PostCompletion completion);
    virtual void resetPasswordWithCode(const std::string& email, const std::string& code,
                                       PostCompletion completion);
    // Sends the new password twice with the bearer token; the e-mail is not sent.
    virtual void resetPasswordWithPassword(const std::string& email, const std::string& password,
                                           PostCompletion completion);

    // ---- Transport: `path` is the complete URL text ----
    virtual void get(const std::string& path, bool auth, Completion completion);
    virtual void post(const std::string& path, const Params& params, bool auth, PostCompletion completion);
    virtual void delete_(const std::string& path, bool auth, Completion completion);

    virtual void getDevices(Completion completion);
    // Deletes one device; the id travels as one percent-encoded path segment. An empty id (or "."
    // or "..") fails at once on the caller's thread with "Invalid device id" and nothing is sent.
    virtual void deleteDevice(const std::string& id, ErrorCompletion completion);

    // The multipart body of a form post (exposed for tests).
    static plat::Data multipartBody(const Params& params);

private:
    // GET and DELETE share everything but the method, the log prefix and the notification.
    void send(const std::string& method, const std::string& path, bool auth, const char* expiredNotification,
              Completion completion);

    plat::URLSession& session_;
    std::string platform_;
    std::string deviceName_;
    std::string os_;
    std::string appVersion_;
};
