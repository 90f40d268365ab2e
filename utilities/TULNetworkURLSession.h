// One transfer of the network request layer: a POST (its body spooled to a temporary file when it
// runs in a background session) or a GET, through a URL session of its own whose delegate it is.
// The object hands the reply to its completion once, on the main queue, then invalidates the
// session and sweeps the temporary folder. A process-wide map finds the object of a background
// session ID (held weakly), and a registry keeps the system's completion blocks per session ID.
#pragma once

#include "utilities/TULNetworkLoggerDelegate.h"

#include "platform/dispatch/Clock.h"
#include "platform/net/URLSession.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TULNetworkURLSession : public plat::URLSessionDelegate,
                             public std::enable_shared_from_this<TULNetworkURLSession> {
public:
    using TULNetworkURLSessionCompletionHandler =
        std::function<void(std::optional<plat::HTTPURLResponse> response, std::optional<plat::Data> data,
                           const std::string& sessionID, std::optional<plat::Error> error)>;
    using TULNetworkSystemCompletionHandler = std::function<void()>;

    // A new object with a fresh session ID, logging through `loggerDelegate` (held weakly; without
    // one, its lines are dropped). Temporary files are aged by `clock`'s wall time; the clock must
    // outlive the object.
    static std::shared_ptr<TULNetworkURLSession>
    initWithNetworkLoggerDelegate(const std::shared_ptr<TULNetworkLoggerDelegate>& loggerDelegate,
                                  const plat::Clock& clock = plat::Clock::system());

    // Start the transfer; the session ID, or none after the completion got the error of code 2.
    std::optional<std::string> sessionIDFromAsyncPOSTRequest(const plat::URLRequest& request,
                                                             TULNetworkURLSessionCompletionHandler handler);
    std::optional<std::string> sessionIDFromAsyncGETRequest(const plat::URLRequest& request,
                                                            TULNetworkURLSessionCompletionHandler handler);

    // After a relaunch for a background session: finds or re-creates its object and keeps the
    // system's block for it. Only for IDs with the layer's prefix.
    static void
    handleEventsForBackgroundURLSessionID(const std::string& identifier,
                                          TULNetworkSystemCompletionHandler systemCompletionHandler);
    // The system completion registry: a block per session ID (a second one replaces the first, with
    // a warning); calling one removes it and runs it on the main queue.
    void addSystemCompletionHandler(TULNetworkSystemCompletionHandler handler, const std::string& identifier);
    void callSystemCompletionHandler(const std::string& identifier);

    // The fetcher map: the object of a session ID, re-created (without a logger) for an unknown ID
    // with the layer's prefix; storing over an entry invalidates the old object's session.
    static std::shared_ptr<TULNetworkURLSession> fetcherWithSessionIdentifier(const std::string& identifier);
    static void setSessionInFetcherMap(const std::shared_ptr<TULNetworkURLSession>& session,
                                       const std::string& identifier);
    static std::shared_ptr<TULNetworkURLSession>
    sessionFromFetcherMapForSessionID(const std::string& identifier);

    const std::string& sessionID() const { return sessionID_; }
    bool isBackgroundNetworkEnabled() const { return backgroundNetworkEnabled_; }
    void setBackgroundNetworkEnabled(bool enabled) { backgroundNetworkEnabled_ = enabled; }
    // "<TULNetworkURLSession: 0x...>" with the session ID.
    std::string description() const;

    // ---- The temporary folder (public for tests) ----
    // <Application Support>/TUL/Network/TULNetworkTemporaryDirectory.
    const std::filesystem::path& networkDirectoryURL() const { return networkDirectoryURL_; }
    std::filesystem::path temporaryFilePathWithSessionID(const std::string& sessionID) const;
    // True when the folder can be reached or was created (and then marked excluded from backup).
    bool ensureTemporaryDirectoryExists();
    void excludeFromBackupForURL(const std::filesystem::path& url);
    // Removes the direct entries of `url` created more than `expiringTime` seconds from now (either
    // way); a folder that cannot be listed ends the sweep with a log line.
    void maybeRemoveTempFilesAtURL(const std::filesystem::path& url, double expiringTime);
    void removeTempItemAtURL(const std::filesystem::path& url);

    // ---- URL-session delegate callbacks (main queue) ----
    void URLSession(plat::URLSession& session, plat::URLSessionTask& dataTask,
                    const plat::Data& data) override;
    void URLSession(plat::URLSession& session, plat::URLSessionDownloadTask& downloadTask,
                    const std::filesystem::path& location) override;
    void URLSession(plat::URLSession& session, plat::URLSessionTask& task,
                    const std::optional<plat::Error>& error) override;
    void URLSession(plat::URLSession& session, plat::URLSessionTask& task,
                    const plat::URLAuthenticationChallenge& challenge,
                    ChallengeCompletion completion) override;
    void URLSession(plat::URLSession& session, plat::URLSessionTask& task,
                    const plat::HTTPURLResponse& response, plat::URLRequest request,
                    RedirectCompletion completion) override;

    TULNetworkURLSession(const std::shared_ptr<TULNetworkLoggerDelegate>& loggerDelegate,
                         const plat::Clock& clock);

private:
    void setSessionID(const std::string& sessionID);
    plat::URLSessionConfiguration backgroundSessionConfigWithSessionID(const std::string& sessionID) const;
    void populateSessionConfig(plat::URLSessionConfiguration& config, const plat::URLRequest& request) const;
    std::optional<std::string>
    startTask(const plat::URLRequest& request, plat::URLSessionConfiguration config,
              const std::function<std::shared_ptr<plat::URLSessionTask>(plat::URLSession&,
                                                                        const plat::URLRequest&)>& makeTask,
              TULNetworkURLSessionCompletionHandler handler);
    void callCompletionHandler(const TULNetworkURLSessionCompletionHandler& handler,
                               std::optional<plat::HTTPURLResponse> response, std::optional<plat::Data> data,
                               std::optional<plat::Error> error);
    void log(int64_t level, int64_t code, const std::string& message,
             std::vector<plat::Object> contexts = {});

    mutable std::mutex lock_; // guards the completion block and the collected data
    TULNetworkURLSessionCompletionHandler completionHandler_;
    std::string sessionID_;
    plat::URLSessionConfiguration sessionConfig_;
    std::weak_ptr<plat::URLSession> URLSession_;
    std::filesystem::path networkDirectoryURL_;
    std::optional<plat::Data> downloadedData_;
    std::filesystem::path uploadingFileURL_;
    std::optional<plat::URLRequest> request_;
    bool backgroundNetworkEnabled_ = false;
    std::weak_ptr<TULNetworkLoggerDelegate> loggerDelegate_;
    const plat::Clock* clock_;
};
