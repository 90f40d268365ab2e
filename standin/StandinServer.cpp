#include "standin/StandinServer.h"

#include "standin/AccountStore.h"
#include "standin/CrashSettingsRoutes.h"
#include "standin/EchoRoutes.h"
#include "standin/InstallationRoutes.h"
#include "standin/MultipartForm.h"
#include "standin/SettingsRoutes.h"
#include "standin/StandinRouter.h"
#include "standin/StandinRoutes.h"
#include "standin/UploadRoutes.h"

#include <httplib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace standin {
namespace {

// Where the pre-routing hook keeps a multipart request's real content type. A colon cannot occur
// in a header name read from the wire, so no client header can collide with it.
constexpr const char* kOriginalContentType = ":standin-original-content-type";
// The same for an upload's Content-Encoding: the upload routes inflate the body themselves.
constexpr const char* kOriginalContentEncoding = ":standin-original-content-encoding";

bool isPseudoHeader(const std::string& name) {
    // The HTTP library files the connection's addresses among the headers.
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT" ||
           name == kOriginalContentType || name == kOriginalContentEncoding;
}

StandinRequest toStandinRequest(const httplib::Request& req) {
    StandinRequest request;
    request.method = req.method;
    request.path = req.path;
    if (size_t mark = req.target.find('?'); mark != std::string::npos)
        request.query = req.target.substr(mark + 1);
    request.params.insert(req.params.begin(), req.params.end());
    const std::string originalType = req.get_header_value(kOriginalContentType);
    for (const auto& [name, value] : req.headers) {
        if (isPseudoHeader(name)) continue;
        bool restore = !originalType.empty() && strcasecmp(name.c_str(), "Content-Type") == 0;
        request.headers.emplace_back(name, restore ? originalType : value);
    }
    if (req.has_header(kOriginalContentEncoding))
        request.headers.emplace_back("Content-Encoding", req.get_header_value(kOriginalContentEncoding));
    request.body = req.body;
    if (auto boundary = MultipartForm::boundaryOf(request.header("Content-Type")))
        request.form = MultipartForm::parse(*boundary, request.body);
    return request;
}

} // namespace

struct StandinServer::Impl {
    AccountStore accounts;
    FaultTable faults;
    RequestLog log;
    InstallationRegistry installations;
    SettingsService settings;
    CrashSettingsService crashSettings;
    std::function<void(const std::string&)> accessLog;
    UploadService uploads;
    StandinRouter router;
    httplib::Server server;
    std::thread thread;
    bool started = false;
    int port = 0;

    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;
    // Requests a Hold fault keeps take tickets in arrival order; those below `releasedBelow` go on.
    // `holding` has the path of each ticket whose request still waits.
    uint64_t nextTicket = 0;
    uint64_t releasedBelow = 0;
    std::map<uint64_t, std::string> holding;

    Impl() {
        addAuthRoutes(router, accounts);
        addUserRoutes(router, accounts);
        addRegionRoutes(router, accounts);
        addDeviceRoutes(router, accounts);
        addAdminRoutes(router, accounts, faults, log);
        addInstallationRoutes(router, installations);
        addInstallationAdminRoutes(router, installations);
        // Before any route that serves other platforms' settings under the same prefix.
        addCrashSettingsRoutes(router, crashSettings);
        addCrashSettingsAdminRoutes(router, crashSettings);
        addUploadRoutes(router, uploads);
        addUploadAdminRoutes(router, uploads);
        addSettingsRoutes(router, settings);
        addSettingsAdminRoutes(router, settings);
        addEchoRoutes(router);
        configure();
    }

    void configure() {
        // The library would decode a multipart body itself and drop the raw bytes, which the
        // request log must keep. It reads the body after this hook, so the hook relabels the
        // request as opaque bytes and keeps the real type aside for toStandinRequest().
        server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
            auto& headers = const_cast<httplib::Request&>(req).headers;
            auto it = headers.find("Content-Type");
            if (it != headers.end() && MultipartForm::boundaryOf(it->second)) {
                std::string original = it->second;
                it->second = "application/octet-stream";
                headers.emplace(kOriginalContentType, original);
            }
            auto encoding = headers.find("Content-Encoding");
            if (encoding != headers.end() &&
                (UploadService::targetForPath(req.path) || isEchoPath(req.path))) {
                std::string original = encoding->second;
                headers.erase(encoding);
                headers.emplace(kOriginalContentEncoding, original);
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
        auto handler = [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); };
        server.Get(".*", handler);
        server.Post(".*", handler);
        server.Put(".*", handler);
        server.Patch(".*", handler);
        server.Delete(".*", handler);
        server.Options(".*", handler);
        // Idle keep-alive connections hold a worker; a short timeout keeps stop() quick.
        server.set_keep_alive_timeout(1);
    }

    // Sleeps for `delay` unless the server stops first; true when the full delay passed.
    bool sleepUnlessStopped(std::chrono::milliseconds delay) {
        std::unique_lock lock(stopMutex);
        return !stopSignal.wait_for(lock, delay, [this] { return stopping; });
    }

    // Waits until the test releases this request or the server stops; true when released.
    bool holdUntilReleased(const std::string& path) {
        std::unique_lock lock(stopMutex);
        const uint64_t ticket = nextTicket++;
        holding.emplace(ticket, path);
        stopSignal.wait(lock, [&] { return stopping || ticket < releasedBelow; });
        holding.erase(ticket);
        return !stopping;
    }

    void handle(const httplib::Request& req, httplib::Response& res) {
        StandinReply reply;
        try {
            reply = serve(toStandinRequest(req));
        } catch (const std::exception&) {
            reply = StandinReply::json(500, R"({"message":"Server Error"})");
        }
        res.status = reply.status;
        for (const auto& [name, value] : reply.headers)
            res.set_header(name, value);
        if (reply.dropConnection) {
            // A provider that fails at once: the library has sent the status line and headers
            // (announcing a body) and then closes the connection.
            res.set_content_provider(std::max<size_t>(reply.body.size(), 1), reply.contentType,
                                     [](size_t, size_t, httplib::DataSink&) { return false; });
        } else if (!reply.body.empty()) {
            res.set_content(reply.body, reply.contentType);
        }
        if (accessLog && req.path.rfind("/admin/", 0) != 0)
            accessLog(req.method + " " + req.path + " -> " + std::to_string(reply.status));
    }

    StandinReply serve(const StandinRequest& request) {
        if (request.path.rfind("/admin/", 0) == 0) return router.dispatch(request);
        log.append(
            RequestLogEntry{request.method, request.path, request.query, request.headers, request.body});
        std::optional<Fault> fault = faults.find(request.path);
        if (!fault) return router.dispatch(request);
        switch (fault->kind) {
        case Fault::Kind::Empty:
            return StandinReply{200, "", ""};
        case Fault::Kind::NonJson:
            return StandinReply{200, "text/html", "<html><body><h1>502 Bad Gateway</h1></body></html>\n"};
        case Fault::Kind::NotFoundJson:
            return StandinReply::json(404, R"({"message":"Not Found"})");
        case Fault::Kind::Delay:
            if (!sleepUnlessStopped(fault->delay))
                return StandinReply::json(503, R"({"message":"Stopping"})");
            return router.dispatch(request);
        case Fault::Kind::Hold:
            if (!holdUntilReleased(request.path)) return StandinReply::json(503, R"({"message":"Stopping"})");
            return router.dispatch(request);
        }
        return router.dispatch(request);
    }
};

StandinServer::StandinServer() : impl_(std::make_unique<Impl>()) {}

StandinServer::~StandinServer() {
    stop();
}

int StandinServer::start(int port) {
    if (impl_->started) throw std::logic_error("velmora-standin: the server was already started");
    if (port < 0 || port > 65535)
        throw std::runtime_error("velmora-standin: invalid port " + std::to_string(port));
    int bound = port == 0 ? impl_->server.bind_to_any_port("127.0.0.1")
                          : (impl_->server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0)
        throw std::runtime_error("velmora-standin: cannot listen on 127.0.0.1:" + std::to_string(port));
    impl_->started = true;
    impl_->port = bound;
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = false;
    }
    impl_->thread = std::thread([impl = impl_.get()] { impl->server.listen_after_bind(); });
    // stop() only reaches a server whose accept loop runs; wait for it so that a quick stop
    // cannot be lost. Connections made meanwhile already queue on the bound socket.
    while (!impl_->server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return bound;
}

void StandinServer::stop() {
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = true;
    }
    impl_->stopSignal.notify_all();
    if (impl_->thread.joinable()) {
        impl_->server.stop();
        impl_->thread.join();
    }
}

int StandinServer::port() const {
    return impl_->port;
}

std::string StandinServer::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port) + "/api/";
}

std::vector<RequestLogEntry> StandinServer::requests() const {
    return impl_->log.entries();
}
void StandinServer::clearRequests() {
    impl_->log.clear();
}
bool StandinServer::expireToken(const std::string& token) {
    return impl_->accounts.expireToken(token);
}
void StandinServer::setFault(const std::string& path, Fault fault) {
    impl_->faults.set(path, fault);
}
void StandinServer::clearFault(const std::string& path) {
    impl_->faults.remove(path);
}
void StandinServer::clearFaults() {
    impl_->faults.clear();
}
size_t StandinServer::held() const {
    std::lock_guard lock(impl_->stopMutex);
    return static_cast<size_t>(impl_->nextTicket - impl_->releasedBelow);
}
std::vector<std::string> StandinServer::heldPaths() const {
    std::lock_guard lock(impl_->stopMutex);
    std::vector<std::string> paths;
    for (auto it = impl_->holding.lower_bound(impl_->releasedBelow); it != impl_->holding.end(); ++it)
        paths.push_back(it->second);
    return paths;
}
void StandinServer::releaseHeld(size_t most) {
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->releasedBelow += std::min<uint64_t>(most, impl_->nextTicket - impl_->releasedBelow);
    }
    impl_->stopSignal.notify_all();
}

InstallationRegistry& StandinServer::installations() {
    return impl_->installations;
}

SettingsService& StandinServer::settings() {
    return impl_->settings;
}

CrashSettingsService& StandinServer::crashSettings() {
    return impl_->crashSettings;
}

void StandinServer::setAccessLog(std::function<void(const std::string& line)> accessLog) {
    impl_->accessLog = std::move(accessLog);
}

UploadService& StandinServer::uploads() {
    return impl_->uploads;
}

std::optional<std::string> StandinServer::resetCode(const std::string& email) const {
    return impl_->accounts.resetCode(email);
}

std::string StandinServer::demoEmail() {
    return AccountStore::kDemoEmail;
}
std::string StandinServer::demoPassword() {
    return AccountStore::kDemoPassword;
}

} // namespace standin
