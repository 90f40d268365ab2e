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

} // namespace standin
