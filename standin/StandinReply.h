// The reply a stand-in route produces: status, content type, body bytes and extra header fields,
// or a connection that drops while the reply is being sent.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace standin {

struct StandinReply {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers = {};
    // The status line and headers go out, then the connection closes before the body.
    bool dropConnection = false;

    // A JSON reply; `json` is already serialised text.
    static StandinReply json(int status, std::string json) {
        return StandinReply{status, "application/json", std::move(json)};
    }
};

} // namespace standin
