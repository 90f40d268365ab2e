#include "standin/EchoRoutes.h"

#include "standin/ApiReplies.h"

#include "utilities/TULGzip.h"

#include <nlohmann/json.hpp>

namespace standin {
namespace {

// Bodies that inflate past this are refused; the tests send a few kilobytes.
constexpr size_t kMaxInflated = 16u << 20;

std::string lenient(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

StandinReply checkForm(const StandinRequest& request) {
    if (request.header("Content-Encoding") != "gzip")
        return messageReply(400, "Content-Encoding must be gzip, not \"" +
                                     request.header("Content-Encoding") + "\".");
    if (request.header("Content-Type") != "application/x-www-form-urlencoded")
        return messageReply(400, "Content-Type must be application/x-www-form-urlencoded, not \"" +
                                     request.header("Content-Type") + "\".");
    if (request.header("Content-Length") != std::to_string(request.body.size()))
        return messageReply(400, "Content-Length \"" + request.header("Content-Length") + "\" is not the " +
                                     std::to_string(request.body.size()) + " bytes received.");
    std::optional<std::string> inflated;
    if (request.body.empty()) {
        inflated = "";
    } else if (auto bytes = TULGzip::tul_dataByInflatingGzippedData(request.body.data(), request.body.size(),
                                                                    kMaxInflated)) {
        inflated = plat::toString(*bytes);
    }
    if (!inflated) return messageReply(400, "The body is not one whole gzip stream.");
    nlohmann::json body = {{"contentLength", request.body.size()},
                           {"inflated", *inflated},
                           {"inflatedLength", inflated->size()}};
    return StandinReply::json(200, lenient(body));
}

} // namespace

void addEchoRoutes(StandinRouter& router) {
    router.add("POST", "/echo/form", checkForm);
    router.add("GET", "/echo/query", [](const StandinRequest& request) {
        nlohmann::json headers = nlohmann::json::object();
        for (const auto& [name, value] : request.headers)
            headers[name] = value;
        return StandinReply::json(200, lenient({{"query", request.query}, {"headers", headers}}));
    });
}

bool isEchoPath(const std::string& path) {
    return path.rfind("/echo/", 0) == 0;
}

} // namespace standin
