#include "standin/ApiReplies.h"

#include <nlohmann/json.hpp>

namespace standin {

StandinReply messageReply(int status, const std::string& message) {
    return StandinReply::json(status, nlohmann::json{{"message", message}}.dump());
}

StandinReply validationReply(int status, const std::string& field, const std::string& message) {
    nlohmann::json body = {{"errors", {{field, nlohmann::json::array({message})}}}, {"message", message}};
    return StandinReply::json(status, body.dump());
}

StandinReply requestListReply(const std::vector<RequestLogEntry>& entries) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& entry : entries) {
        nlohmann::json headers = nlohmann::json::object();
        for (const auto& [name, value] : entry.headers)
            headers[name] = value;
        list.push_back(
            {{"method", entry.method}, {"path", entry.path}, {"query", entry.query}, {"headers", headers}});
    }
    // Header values are the client's bytes, which need not be UTF-8.
    return StandinReply::json(200, list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

} // namespace standin
