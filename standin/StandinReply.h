// The reply a stand-in route produces: status, content type and body bytes.
#pragma once

#include <string>

namespace standin {

struct StandinReply {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;

    // A JSON reply; `json` is already serialised text.
    static StandinReply json(int status, std::string json) {
        return StandinReply{status, "application/json", std::move(json)};
    }
};

} // namespace standin
