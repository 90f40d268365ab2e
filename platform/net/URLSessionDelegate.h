// What a delegate session tells its delegate, on the session's delegate queue: the body bytes of
// data and upload tasks, the file of a finished download, the redirects and challenges to decide,
// and the end of each task. Every method has a default: bytes and files are ignored, redirects
// followed, challenges handled by default.
#pragma once

#include "platform/net/URLAuthenticationChallenge.h"
#include "platform/net/URLRequest.h"
#include "platform/object/Error.h"

#include <filesystem>
#include <functional>
#include <optional>

namespace plat {

class URLSession;
class URLSessionTask;
class URLSessionDownloadTask;

class URLSessionDelegate {
public:
    virtual ~URLSessionDelegate() = default;

    // Body bytes of a data or upload task; may come in several pieces.
    virtual void URLSession(plat::URLSession& session, URLSessionTask& dataTask, const Data& data) {
        (void)session, (void)dataTask, (void)data;
    }
    // A download finished into `location`, a file that is removed once this returns.
    virtual void URLSession(plat::URLSession& session, URLSessionDownloadTask& downloadTask,
                            const std::filesystem::path& location) {
        (void)session, (void)downloadTask, (void)location;
    }
    // The task ended: with the reply in the task's response() (error none), or with an error.
    virtual void URLSession(plat::URLSession& session, URLSessionTask& task,
                            const std::optional<Error>& error) {
        (void)session, (void)task, (void)error;
    }

    using ChallengeCompletion = std::function<void(URLSessionAuthChallengeDisposition disposition,
                                                   std::optional<URLCredential> credential)>;
    // A challenge to answer through `completion` (from any thread).
    virtual void URLSession(plat::URLSession& session, URLSessionTask& task,
                            const URLAuthenticationChallenge& challenge, ChallengeCompletion completion) {
        (void)session, (void)task, (void)challenge;
        completion(URLSessionAuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
    }

    using RedirectCompletion = std::function<void(std::optional<URLRequest> request)>;
    // The reply `response` redirects to `request`: `completion` gets the request to follow, or none
    // to take the redirect reply as the answer. It must be called once, from any thread.
    virtual void URLSession(plat::URLSession& session, URLSessionTask& task, const HTTPURLResponse& response,
                            URLRequest request, RedirectCompletion completion) {
        (void)session, (void)task, (void)response;
        completion(std::move(request));
    }
};

} // namespace plat
