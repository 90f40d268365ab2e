#include "utilities/TULNetworkURLSession.h"

#include "utilities/TULLogger.h"
#include "utilities/TULMutableDictionary.h"
#include "utilities/TULNetworkConstants.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Paths.h"
#include "platform/security/UUID.h"

#include <cinttypes>
#include <cstdio>
#include <map>

namespace {

plat::Error networkError(int64_t code, const std::string& context) {
    return plat::Error(kTULNetworkErrorDomain, code,
                       plat::Object::Dict{{kTULNetworkErrorContext, plat::Object(context)}});
}

plat::Object errorContext(const plat::Error& error) {
    return plat::Object(error.description());
}

} // namespace

std::shared_ptr<TULNetworkURLSession> TULNetworkURLSession::initWithNetworkLoggerDelegate(
    const std::shared_ptr<TULNetworkLoggerDelegate>& loggerDelegate, const plat::Clock& clock) {
    return std::make_shared<TULNetworkURLSession>(loggerDelegate, clock);
}

TULNetworkURLSession::TULNetworkURLSession(const std::shared_ptr<TULNetworkLoggerDelegate>& loggerDelegate,
                                           const plat::Clock& clock)
    : networkDirectoryURL_(plat::paths::applicationSupportDir() / kTULNetworkApplicationSupportSubdirectory /
                           kTULNetworkTempDirectoryName),
      loggerDelegate_(loggerDelegate), clock_(&clock) {
    setSessionID(std::string(kTULNetworkBackgroundSessionConfigIDPrefix) + "-" + plat::UUID().uuidString());
}

void TULNetworkURLSession::setSessionID(const std::string& sessionID) {
    sessionID_ = sessionID;
}

std::string TULNetworkURLSession::description() const {
    char text[96];
    std::snprintf(text, sizeof text, "<TULNetworkURLSession: %p>", static_cast<const void*>(this));
    return std::string(text) + " " + sessionID_;
}

plat::URLSessionConfiguration
TULNetworkURLSession::backgroundSessionConfigWithSessionID(const std::string& sessionID) const {
    return plat::URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(sessionID);
}

void TULNetworkURLSession::populateSessionConfig(plat::URLSessionConfiguration& config,
                                                 const plat::URLRequest& request) const {
    config.HTTPAdditionalHeaders = request.allHTTPHeaderFields();
    config.timeoutIntervalForRequest = request.timeoutInterval;
    config.timeoutIntervalForResource = request.timeoutInterval;
    config.requestCachePolicy = request.cachePolicy;
}

std::optional<std::string>
TULNetworkURLSession::sessionIDFromAsyncPOSTRequest(const plat::URLRequest& request,
                                                    TULNetworkURLSessionCompletionHandler handler) {
    uploadingFileURL_ = temporaryFilePathWithSessionID(sessionID_);
    maybeRemoveTempFilesAtURL(networkDirectoryURL_, kTULNetworkTempFolderExpireTime);

    const plat::Data body = request.httpBody.value_or(plat::Data());
    bool fromFile = false;
    if (backgroundNetworkEnabled_ && ensureTemporaryDirectoryExists()) {
        std::optional<plat::Error> writeError = plat::AtomicFile::write(
            uploadingFileURL_, std::string_view(reinterpret_cast<const char*>(body.data()), body.size()),
            plat::AtomicFile::Options());
        if (writeError) {
            log(TULLoggerLevelError, kTULNetworkMessageCodeURLSession000,
                "Failed to write request data to file", {errorContext(*writeError)});
        } else {
            excludeFromBackupForURL(uploadingFileURL_);
            fromFile = true;
        }
    }
    // A spool that failed falls back to an upload from memory in a default session.
    plat::URLSessionConfiguration config = fromFile
                                               ? backgroundSessionConfigWithSessionID(sessionID_)
                                               : plat::URLSessionConfiguration::defaultSessionConfiguration();
    populateSessionConfig(config, request);
    std::filesystem::path file = uploadingFileURL_;
    return startTask(
        request, std::move(config),
        [fromFile, file, body](plat::URLSession& session, const plat::URLRequest& request) {
            plat::URLRequest bodiless = request;
            bodiless.httpBody.reset();
            return fromFile ? session.uploadTaskWithRequest(std::move(bodiless), file)
                            : session.uploadTaskWithRequest(std::move(bodiless), body);
        },
        std::move(handler));
}

std::optional<std::string>
TULNetworkURLSession::sessionIDFromAsyncGETRequest(const plat::URLRequest& request,
                                                   TULNetworkURLSessionCompletionHandler handler) {
    plat::URLSessionConfiguration config = backgroundNetworkEnabled_
                                               ? backgroundSessionConfigWithSessionID(sessionID_)
                                               : plat::URLSessionConfiguration::defaultSessionConfiguration();
    populateSessionConfig(config, request);
    config.URLCacheEnabled = false;
    return startTask(
        request, std::move(config),
        [](plat::URLSession& session, const plat::URLRequest& request) {
            return std::shared_ptr<plat::URLSessionTask>(session.downloadTaskWithRequest(request));
        },
        std::move(handler));
}

std::optional<std::string> TULNetworkURLSession::startTask(
    const plat::URLRequest& request, plat::URLSessionConfiguration config,
    const std::function<std::shared_ptr<plat::URLSessionTask>(plat::URLSession&, const plat::URLRequest&)>&
        makeTask,
    TULNetworkURLSessionCompletionHandler handler) {
    sessionConfig_ = config;
    std::shared_ptr<plat::URLSession> session =
        plat::URLSession::sessionWithConfiguration(std::move(config), shared_from_this(), plat::mainQueue());
    std::shared_ptr<plat::URLSessionTask> task = session ? makeTask(*session, request) : nullptr;
    if (!session || !task) {
        if (session) session->finishTasksAndInvalidate();
        callCompletionHandler(
            handler, std::nullopt, std::nullopt,
            networkError(TULErrorCodeNetworkSessionTaskCreation, "Cannot create network session"));
        return std::nullopt;
    }
    URLSession_ = session;
    setSessionInFetcherMap(shared_from_this(), sessionID_);
    {
        std::lock_guard guard(lock_);
        request_ = request;
        completionHandler_ = std::move(handler);
    }
    task->resume();
    return sessionID_;
}

void TULNetworkURLSession::callCompletionHandler(const TULNetworkURLSessionCompletionHandler& handler,
                                                 std::optional<plat::HTTPURLResponse> response,
                                                 std::optional<plat::Data> data,
                                                 std::optional<plat::Error> error) {
    if (error) {
        log(TULLoggerLevelError, kTULNetworkMessageCodeURLSession017, "Encounter network error. Code, error",
            {plat::Object(error->code), errorContext(*error)});
    }
    if (!handler) return;
    plat::mainQueue().async([handler, response = std::move(response), data = std::move(data),
                             sessionID = sessionID_,
                             error = std::move(error)] { handler(response, data, sessionID, error); });
}

void TULNetworkURLSession::log(int64_t level, int64_t code, const std::string& message,
                               std::vector<plat::Object> contexts) {
    if (auto delegate = loggerDelegate_.lock())
        delegate->TULNetwork_logWithLevel(level, code, message, contexts);
}

// ---- URL-session delegate callbacks ----

void TULNetworkURLSession::URLSession(plat::URLSession&, plat::URLSessionTask&, const plat::Data& data) {
    std::lock_guard guard(lock_);
    if (!downloadedData_) downloadedData_.emplace();
    downloadedData_->insert(downloadedData_->end(), data.begin(), data.end());
}

void TULNetworkURLSession::URLSession(plat::URLSession&, plat::URLSessionDownloadTask&,
                                      const std::filesystem::path& location) {
    std::optional<plat::Data> contents;
    if (location.empty()) {
        log(TULLoggerLevelError, kTULNetworkMessageCodeURLSession001,
            "Unable to read downloaded data from empty temp path");
    } else {
        plat::Error readError;
        contents = plat::AtomicFile::read(location, &readError);
        if (!contents)
            log(TULLoggerLevelError, kTULNetworkMessageCodeURLSession002,
                "Cannot read the content of downloaded data", {errorContext(readError)});
    }
    std::lock_guard guard(lock_);
    downloadedData_ = std::move(contents);
}

void TULNetworkURLSession::URLSession(plat::URLSession& session, plat::URLSessionTask& task,
                                      const std::optional<plat::Error>& error) {
    TULNetworkURLSessionCompletionHandler handler;
    std::optional<plat::Data> data;
    {
        std::lock_guard guard(lock_);
        handler = std::move(completionHandler_);
        completionHandler_ = nullptr;
        data = downloadedData_;
    }
    std::optional<plat::HTTPURLResponse> response = task.response();
    std::optional<plat::Error> reported = error;
    if (response) {
        // The server answered; whatever went wrong on the way is told by the status.
        reported.reset();
    } else if (!reported) {
        reported = networkError(TULErrorCodeNetworkEmptyResponse, "Network Error: Empty network response");
    }
    callCompletionHandler(handler, std::move(response), std::move(data), std::move(reported));

    removeTempItemAtURL(uploadingFileURL_);
    maybeRemoveTempFilesAtURL(networkDirectoryURL_, kTULNetworkTempFolderExpireTime);
    session.finishTasksAndInvalidate();
    if (session.configuration().identifier)
        setSessionInFetcherMap(nullptr, *session.configuration().identifier);
}

void TULNetworkURLSession::URLSession(plat::URLSession&, plat::URLSessionTask&,
                                      const plat::URLAuthenticationChallenge& challenge,
                                      ChallengeCompletion completion) {
    using Disposition = plat::URLSessionAuthChallengeDisposition;
    if (challenge.protectionSpace.authenticationMethod != plat::NSURLAuthenticationMethodServerTrust) {
        completion(Disposition::PerformDefaultHandling, std::nullopt);
        return;
    }
    std::string host;
    {
        std::lock_guard guard(lock_);
        if (request_) host = request_->url;
    }
    std::shared_ptr<plat::SecTrust> trust = challenge.protectionSpace.serverTrust;
    if (!trust) {
        log(TULLoggerLevelDebug, kTULNetworkMessageCodeURLSession004,
            "Received empty server trust for host. Host", {plat::Object(host)});
        completion(Disposition::PerformDefaultHandling, std::nullopt);
        return;
    }
    std::optional<plat::URLCredential> credential = plat::URLCredential::credentialForTrust(trust);
    if (!credential) {
        log(TULLoggerLevelWarning, kTULNetworkMessageCodeURLSession005,
            "Unable to verify server identity. Host", {plat::Object(host)});
        completion(Disposition::CancelAuthenticationChallenge, std::nullopt);
        return;
    }
    log(TULLoggerLevelDebug, kTULNetworkMessageCodeURLSession006, "Received SSL challenge for host. Host",
        {plat::Object(host)});
    auto self = shared_from_this();
    plat::DispatchQueue::global(plat::QoS::Default).async([self, trust, credential, host, completion] {
        // Evaluations are serialised across all objects of the class.
        static std::mutex* const evaluationLock = new std::mutex;
        bool trusted = false;
        {
            std::lock_guard guard(*evaluationLock);
            std::optional<plat::Error> evaluationError;
            trusted = plat::SecTrustEvaluateWithError(*trust, &evaluationError);
            if (evaluationError)
                self->log(TULLoggerLevelError, kTULNetworkMessageCodeURLSession008,
                          "Cannot evaluate server trust. Error, host",
                          {plat::Object(evaluationError->code), plat::Object(host)});
        }
        if (trusted) {
            completion(Disposition::UseCredential, credential);
        } else {
            self->log(TULLoggerLevelDebug, kTULNetworkMessageCodeURLSession007,
                      "Cancelling authentication challenge for host. Host", {plat::Object(host)});
            completion(Disposition::CancelAuthenticationChallenge, std::nullopt);
        }
    });
}

void TULNetworkURLSession::URLSession(plat::URLSession&, plat::URLSessionTask&,
                                      const plat::HTTPURLResponse& response, plat::URLRequest request,
                                      RedirectCompletion completion) {
    int status = response.statusCode;
    if (status == 300 || status == 301 || status == 302 || status == 307) {
        completion(std::nullopt);
        return;
    }
    completion(std::move(request));
}

// ---- The temporary folder ----

std::filesystem::path
TULNetworkURLSession::temporaryFilePathWithSessionID(const std::string& sessionID) const {
    return networkDirectoryURL_ / ("TULUpload_temp_" + sessionID);
}

bool TULNetworkURLSession::ensureTemporaryDirectoryExists() {
    plat::Error error;
    if (plat::FileManager::checkResourceIsReachable(networkDirectoryURL_, &error)) return true;
    if (error.code != plat::FileManager::ReadNoSuchFileError)
        log(TULLoggerLevelWarning, kTULNetworkMessageCodeURLSession014,
            "Error while trying to access Network temp folder. Error", {errorContext(error)});
    if (!plat::FileManager::createDirectory(networkDirectoryURL_, true, &error)) {
        log(TULLoggerLevelError, kTULNetworkMessageCodeURLSession015,
            "Cannot create temporary directory. Error", {errorContext(error)});
        return false;
    }
    excludeFromBackupForURL(networkDirectoryURL_);
    return true;
}

void TULNetworkURLSession::excludeFromBackupForURL(const std::filesystem::path& url) {
    if (url.empty()) return;
    plat::Error error;
    if (!plat::FileManager::setExcludedFromBackup(url, true, &error))
        log(TULLoggerLevelError, kTULNetworkMessageCodeURLSession016,
            "Cannot exclude temporary folder from iTunes backup", {errorContext(error)});
}

void TULNetworkURLSession::maybeRemoveTempFilesAtURL(const std::filesystem::path& url, double expiringTime) {
    if (url.empty()) return;
    plat::Error error;
    std::optional<std::vector<plat::FileManager::Entry>> entries =
        plat::FileManager::contentsOfDirectory(url, &error);
    if (!entries) {
        if (error.code != plat::FileManager::ReadNoSuchFileError)
            log(TULLoggerLevelDebug, kTULNetworkMessageCodeURLSession012,
                "Cannot get files from the temporary network folder. Error", {errorContext(error)});
        return;
    }
    const double now = clock_->wallNow().secondsSince1970;
    for (const plat::FileManager::Entry& entry : *entries) {
        double age = now - entry.creationDate.secondsSince1970;
        if (age > expiringTime || -age > expiringTime) removeTempItemAtURL(entry.path);
    }
}

void TULNetworkURLSession::removeTempItemAtURL(const std::filesystem::path& url) {
    if (url.empty()) return;
    plat::Error error;
    if (!plat::FileManager::removeItem(url, &error) && error.code != plat::FileManager::NoSuchFileError)
        log(TULLoggerLevelError, kTULNetworkMessageCodeURLSession013,
            "Failed to remove temporary uploading data file. Error",
            {plat::Object(error.localizedDescription())});
}

// ---- The fetcher map and the system completion registry ----

namespace {

struct FetcherMap {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<TULNetworkURLSession>> sessions;
};

FetcherMap& sessionIDToFetcherMap() {
    static auto* map = new FetcherMap;
    return *map;
}

TULMutableDictionary<std::function<void()>>& sessionIDToSystemCompletionHandlerDictionary() {
    static auto* handlers = new TULMutableDictionary<std::function<void()>>;
    return *handlers;
}

bool hasLayerPrefix(const std::string& identifier) {
    return identifier.rfind(kTULNetworkBackgroundSessionConfigIDPrefix, 0) == 0;
}

} // namespace

void TULNetworkURLSession::handleEventsForBackgroundURLSessionID(
    const std::string& identifier, TULNetworkSystemCompletionHandler systemCompletionHandler) {
    if (!hasLayerPrefix(identifier)) return;
    std::shared_ptr<TULNetworkURLSession> fetcher = fetcherWithSessionIdentifier(identifier);
    if (fetcher) {
        fetcher->addSystemCompletionHandler(std::move(systemCompletionHandler), identifier);
    } else {
        TULOSLogError(kTULNetworkLogSubsystem, kTULNetworkLogCategory, false,
                      TULStringWithFormat("I-NET%06ld",
                                          TULMakeFormatArguments(int64_t(kTULNetworkMessageCodeNetwork003))),
                      "Failed to retrieve background session with ID %@ after app is relaunched.",
                      identifier);
    }
}

void TULNetworkURLSession::addSystemCompletionHandler(TULNetworkSystemCompletionHandler handler,
                                                      const std::string& identifier) {
    if (!handler) {
        log(TULLoggerLevelError, kTULNetworkMessageCodeURLSession009,
            "Cannot store nil system completion handler in network");
        return;
    }
    if (identifier.empty()) {
        log(TULLoggerLevelError, kTULNetworkMessageCodeURLSession010,
            "Cannot store system completion handler with empty network session identifier");
        return;
    }
    auto& handlers = sessionIDToSystemCompletionHandlerDictionary();
    if (handlers.objectForKey(identifier))
        log(TULLoggerLevelWarning, kTULNetworkMessageCodeURLSession011,
            "Got multiple system handlers for a single session ID");
    handlers.setObject(std::move(handler), identifier);
}

void TULNetworkURLSession::callSystemCompletionHandler(const std::string& identifier) {
    auto& handlers = sessionIDToSystemCompletionHandlerDictionary();
    std::optional<std::function<void()>> handler = handlers.objectForKey(identifier);
    if (!handler) return;
    handlers.removeObjectForKey(identifier);
    plat::mainQueue().async([handler = std::move(*handler)] { handler(); });
}

std::shared_ptr<TULNetworkURLSession>
TULNetworkURLSession::fetcherWithSessionIdentifier(const std::string& identifier) {
    std::shared_ptr<TULNetworkURLSession> session = sessionFromFetcherMapForSessionID(identifier);
    if (!session && hasLayerPrefix(identifier)) {
        session = initWithNetworkLoggerDelegate(nullptr);
        session->setSessionID(identifier);
        setSessionInFetcherMap(session, identifier);
    }
    return session;
}

void TULNetworkURLSession::setSessionInFetcherMap(const std::shared_ptr<TULNetworkURLSession>& session,
                                                  const std::string& identifier) {
    FetcherMap& map = sessionIDToFetcherMap();
    std::lock_guard guard(map.lock);
    auto found = map.sessions.find(identifier);
    std::shared_ptr<TULNetworkURLSession> existing =
        found == map.sessions.end() ? nullptr : found->second.lock();
    if (existing && existing != session) {
        if (session)
            existing->log(TULLoggerLevelInfo, kTULNetworkMessageCodeURLSession019,
                          TULStringWithFormat("Discarding session: %@",
                                              TULMakeFormatArguments(existing->description())));
        if (auto urlSession = existing->URLSession_.lock()) urlSession->finishTasksAndInvalidate();
    }
    if (session)
        map.sessions[identifier] = session;
    else if (found != map.sessions.end())
        map.sessions.erase(found);
}

std::shared_ptr<TULNetworkURLSession>
TULNetworkURLSession::sessionFromFetcherMapForSessionID(const std::string& identifier) {
    FetcherMap& map = sessionIDToFetcherMap();
    std::lock_guard guard(map.lock);
    auto found = map.sessions.find(identifier);
    if (found == map.sessions.end()) return nullptr;
    std::shared_ptr<TULNetworkURLSession> session = found->second.lock();
    // Entries of objects that went away lapse.
    if (!session) map.sessions.erase(found);
    return session;
}
