// The stand-in's route table: method and path pattern to handler, with the service's JSON replies
// for unknown paths (404) and known paths with another method (405).
#pragma once

#include "standin/StandinReply.h"
#include "standin/StandinRequest.h"

#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace standin {

class StandinRouter {
public:
    using Handler = std::function<StandinReply(const StandinRequest&)>;

    // Adds a route. `pattern` is an ECMAScript regular expression that must match the whole
    // request path; its sub-matches reach the handler as StandinRequest::captures.
    void add(const std::string& method, const std::string& pattern, Handler handler);

    // Runs the first route whose method and pattern match. Routes are added before the server
    // starts and only read afterwards, so dispatch may run on many threads at once.
    StandinReply dispatch(const StandinRequest& request) const;

private:
    struct Route {
        std::string method;
        std::regex pattern;
        Handler handler;
    };
    std::vector<Route> routes_;
};

} // namespace standin
