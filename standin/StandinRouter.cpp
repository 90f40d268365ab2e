#include "standin/StandinRouter.h"

namespace standin {

void StandinRouter::add(const std::string& method, const std::string& pattern, Handler handler) {
    routes_.push_back(Route{method, std::regex(pattern), std::move(handler)});
}

StandinReply StandinRouter::dispatch(const StandinRequest& request) const {
    bool pathKnown = false;
    for (const auto& route : routes_) {
        std::smatch match;
        if (!std::regex_match(request.path, match, route.pattern)) continue;
        pathKnown = true;
        if (route.method != request.method) continue;
        StandinRequest routed = request;
        for (size_t i = 1; i < match.size(); ++i)
            routed.captures.push_back(match[i].str());
        return route.handler(routed);
    }
    if (pathKnown) return StandinReply::json(405, R"({"message":"Method Not Allowed"})");
    return StandinReply::json(404, R"({"message":"Not Found"})");
}

} // namespace standin
