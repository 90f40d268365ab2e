// A transfer of a delegate session: a data task, an upload from bytes or from a file, or a download
// into a file. Everything it learns goes to the session's delegate on the delegate queue; redirects
// are put to the delegate one by one. Thread-safe.
#pragma once

#include "platform/net/URLRequest.h"
#include "platform/object/Error.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

namespace plat {

class URLSession;

class URLSessionTask : public std::enable_shared_from_this<URLSessionTask> {
public:
    enum class State { Running, Suspended, Canceling, Completed };
    enum class Kind { Data, UploadFromData, UploadFromFile, Download };

    virtual ~URLSessionTask() = default;

    // Starts the transfer; later calls do nothing. A running task keeps itself and its session
    // alive until the delegate has heard that it completed.
    void resume();
    // Ends the transfer early; the delegate hears the "cancelled" error.
    void cancel();

    State state() const { return state_.load(); }
    Kind kind() const { return kind_; }
    uint64_t taskIdentifier() const { return identifier_; }
    const URLRequest& originalRequest() const { return originalRequest_; }
    // The request as it went out last (after the session's fields were added and redirects taken).
    URLRequest currentRequest() const;
    // The final reply; none until the task completed with one.
    std::optional<HTTPURLResponse> response() const;

    // Made by the session.
    URLSessionTask(std::shared_ptr<plat::URLSession> session, uint64_t identifier, Kind kind,
                   URLRequest request, std::optional<Data> body, std::filesystem::path bodyFile);

private:
    void perform();
    std::optional<URLRequest> askToRedirect(const HTTPURLResponse& response, URLRequest next);
    void finish(std::optional<HTTPURLResponse> response, Data body, std::optional<Error> error);

    std::shared_ptr<plat::URLSession> session_;
    const uint64_t identifier_;
    const Kind kind_;
    const URLRequest originalRequest_;
    std::optional<Data> body_;
    std::filesystem::path bodyFile_;
    std::atomic<State> state_{State::Suspended};
    std::atomic<bool> cancelled_{false};
    mutable std::mutex lock_;
    URLRequest currentRequest_;
    std::optional<HTTPURLResponse> response_;
};

// A task whose reply body goes to a file handed to the delegate.
class URLSessionDownloadTask final : public URLSessionTask {
public:
    using URLSessionTask::URLSessionTask;
};

} // namespace plat
